#pragma once

#include <QString>

namespace veltrin {

// Quoted-printable encoding of text as UTF-8: lines of at most 76 characters, soft line
// breaks ("=" and a line feed) only between characters, "=" and every byte outside
// printable ASCII escaped, spaces and tabs escaped where they would end a line. Line feeds
// and carriage return + line feed pairs stay as they are (hard line breaks); a lone
// carriage return is escaped. decodeQuotedPrintable() of the result gives the text back.
QString encodeQuotedPrintable(const QString& text);
// The same for text already turned into bytes, with soft line breaks made of "=" and the given
// line break, as ASCII bytes. Only UTF-8 bytes are kept together by character.
QByteArray encodeQuotedPrintable(QByteArrayView bytes, QLatin1StringView lineBreak, bool utf8);

} // namespace veltrin
