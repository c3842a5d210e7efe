#include "QuotedPrintableEncoder.h"

#include <QByteArray>

namespace veltrin {

namespace {

constexpr qsizetype maxLineLength = 76;
// Room for the "=" of a soft line break.
constexpr qsizetype maxContentLength = maxLineLength - 1;

// Length of the UTF-8 sequence that a lead byte starts (the input is well-formed UTF-8).
qsizetype sequenceLength(uchar lead)
{
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

} // namespace

QString encodeQuotedPrintable(const QString& text)
{
    return QString::fromLatin1(encodeQuotedPrintable(text.toUtf8(), QLatin1StringView("\n"), true));
}

QByteArray encodeQuotedPrintable(QByteArrayView in, QLatin1StringView lineBreak, bool utf8)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    const char* bytes = in.constData();
    const qsizetype size = in.size();
    // Where a space or tab would be the last character of a line.
    const auto endsLineAt = [&](qsizetype i) {
        return i == size || bytes[i] == '\n' || (bytes[i] == '\r' && i + 1 < size && bytes[i + 1] == '\n');
    };

    // Written through a pointer into room for the worst case (every byte escaped, a soft
    // break after every 75 characters): this runs over whole pasted images.
    QByteArray out;
    out.resize(3 * size + (1 + lineBreak.size()) * (3 * size / maxContentLength + 1));
    char* write = out.data();
    qsizetype lineLength = 0;
    for (qsizetype i = 0; i < size;) {
        const uchar c = uchar(bytes[i]);
        if (c == '\n') {
            *write++ = '\n';
            lineLength = 0;
            ++i;
            continue;
        }
        if (c == '\r' && i + 1 < size && bytes[i + 1] == '\n') {
            *write++ = '\r';
            *write++ = '\n';
            lineLength = 0;
            i += 2;
            continue;
        }

        // One character at a time, so that the escapes of its bytes stay on one line.
        const bool literal
            = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !endsLineAt(i + 1));
        const qsizetype consumed = literal || !utf8 ? 1 : qMin(sequenceLength(c), size - i);
        const qsizetype tokenLength = literal ? 1 : 3 * consumed;
        if (lineLength + tokenLength > maxContentLength) {
            *write++ = '=';
            for (const char b : lineBreak)
                *write++ = b;
            lineLength = 0;
        }
        if (literal) {
            *write++ = char(c);
        } else {
            for (qsizetype k = 0; k < consumed; ++k) {
                const uchar byte = uchar(bytes[i + k]);
                *write++ = '=';
                *write++ = digits[byte >> 4];
                *write++ = digits[byte & 0xF];
            }
        }
        lineLength += tokenLength;
        i += consumed;
    }
    out.truncate(write - out.constData());
    return out;
}

} // namespace veltrin
