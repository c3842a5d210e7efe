#pragma once

#include <QString>

namespace veltrin {

// Undoes quoted-printable transfer encoding, gathering escaped bytes into UTF-8 characters.
// Lenient: never fails; whatever doesn't decode stays in the output as written, and every
// input character is either decoded or kept (only soft line breaks and a final "=" vanish).
QString decodeQuotedPrintable(const QString& text);

// The same for a body that names its character set: escaped bytes are read in that set where
// iconv knows it. UTF-8, no name, an unknown set, or bytes that are not text in the set: as above.
QString decodeQuotedPrintable(const QString& text, const QString& charset);

} // namespace veltrin
