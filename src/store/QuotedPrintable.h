#pragma once

#include <QString>

namespace veltrin {

// Undoes quoted-printable transfer encoding, gathering escaped bytes into UTF-8 characters.
// Lenient: never fails; whatever doesn't decode stays in the output as written, and every
// input character is either decoded or kept (only soft line breaks and a final "=" vanish).
QString decodeQuotedPrintable(const QString& text);

} // namespace veltrin
