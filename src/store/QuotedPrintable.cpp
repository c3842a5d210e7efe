#include "QuotedPrintable.h"

#include "Charset.h"

#include <QStringView>

#include <array>
#include <cstring>

namespace veltrin {

namespace {

constexpr std::array<signed char, 128> makeHexTable()
{
    std::array<signed char, 128> table {};
    for (auto& entry : table)
        entry = -1;
    for (int c = '0'; c <= '9'; ++c)
        table[c] = static_cast<signed char>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c)
        table[c] = static_cast<signed char>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c)
        table[c] = static_cast<signed char>(c - 'a' + 10);
    return table;
}

constexpr std::array<signed char, 128> hexTable = makeHexTable();

inline int hexDigit(char16_t c)
{
    return c < 128 ? hexTable[c] : -1;
}

// Two characters read as an unsigned 8-bit number in base 16 with an optional sign:
// "C3" and "c3", "+A" (0x0A) and "-0" read; anything else gives -1.
inline int byteValue(char16_t first, char16_t second)
{
    const int low = hexDigit(second);
    if (low < 0)
        return -1;
    const int high = hexDigit(first);
    if (high >= 0)
        return high * 16 + low;
    if (first == u'+')
        return low;
    if (first == u'-' && low == 0)
        return 0;
    return -1;
}

inline int expectedLength(int firstByte)
{
    if (firstByte >= 0xC0 && firstByte <= 0xDF)
        return 2;
    if (firstByte >= 0xE0 && firstByte <= 0xEF)
        return 3;
    if (firstByte >= 0xF0 && firstByte <= 0xF7)
        return 4;
    return 1;
}

inline bool isContinuation(int byte)
{
    return byte >= 0x80 && byte <= 0xBF;
}

// Well-formed UTF-8 only (no overlong forms, surrogates or values above U+10FFFF);
// returns the code point or -1.
char32_t decodeSequence(const int* bytes, int count)
{
    const int b0 = bytes[0];
    switch (count) {
    case 1:
        return b0 < 0x80 ? char32_t(b0) : char32_t(-1);
    case 2:
        if (b0 < 0xC2 || b0 > 0xDF || !isContinuation(bytes[1]))
            return char32_t(-1);
        return char32_t(((b0 & 0x1F) << 6) | (bytes[1] & 0x3F));
    case 3: {
        if (b0 < 0xE0 || b0 > 0xEF || !isContinuation(bytes[1]) || !isContinuation(bytes[2]))
            return char32_t(-1);
        if ((b0 == 0xE0 && bytes[1] < 0xA0) || (b0 == 0xED && bytes[1] > 0x9F))
            return char32_t(-1);
        return char32_t(((b0 & 0x0F) << 12) | ((bytes[1] & 0x3F) << 6) | (bytes[2] & 0x3F));
    }
    case 4: {
        if (b0 < 0xF0 || b0 > 0xF4 || !isContinuation(bytes[1]) || !isContinuation(bytes[2])
            || !isContinuation(bytes[3]))
            return char32_t(-1);
        if ((b0 == 0xF0 && bytes[1] < 0x90) || (b0 == 0xF4 && bytes[1] > 0x8F))
            return char32_t(-1);
        return char32_t(
            ((b0 & 0x07) << 18) | ((bytes[1] & 0x3F) << 12) | ((bytes[2] & 0x3F) << 6) | (bytes[3] & 0x3F));
    }
    default:
        return char32_t(-1);
    }
}

// The end of the soft line break at the "=" at `equals`, or -1 when there is none there.
qsizetype softBreakEnd(const char16_t* in, qsizetype size, qsizetype equals)
{
    if (in[equals] != u'=')
        return -1;
    // Spaces and tabs between the "=" and the line end are transport padding.
    qsizetype i = equals + 1;
    while (i < size && (in[i] == u' ' || in[i] == u'\t'))
        ++i;
    if (i >= size)
        return i > equals + 1 ? i : -1;
    if (in[i] == u'\n')
        return i + 1;
    if (in[i] == u'\r')
        return i + 1 < size && in[i + 1] == u'\n' ? i + 2 : i + 1;
    return -1;
}

} // namespace

QString decodeQuotedPrintable(const QString& text)
{
    const qsizetype size = text.size();
    if (size == 0)
        return {};

    const char16_t* const in = reinterpret_cast<const char16_t*>(text.constData());
    // Nothing the decoder emits is longer than what it read, so one buffer of the input's
    // size is enough and is cut to length at the end.
    QString result(size, Qt::Uninitialized);
    char16_t* const outStart = reinterpret_cast<char16_t*>(result.data());
    char16_t* out = outStart;

    qsizetype i = 0;
    while (i < size) {
        const qsizetype equals = QStringView(in + i, size - i).indexOf(u'=');
        const qsizetype runEnd = equals < 0 ? size : i + equals;
        if (runEnd > i) {
            std::memcpy(out, in + i, size_t(runEnd - i) * sizeof(char16_t));
            out += runEnd - i;
        }
        i = runEnd;
        if (i >= size)
            break;

        if (i + 1 == size)
            break; // a final "=" is dropped
        if (const qsizetype after = softBreakEnd(in, size, i); after >= 0) {
            i = after;
            continue;
        }
        const char16_t next = in[i + 1];
        const int first = i + 2 < size ? byteValue(next, in[i + 2]) : -1;
        if (first < 0) {
            *out++ = u'=';
            ++i;
            continue;
        }
        if (first < 0x80) {
            *out++ = char16_t(first);
            i += 3;
            continue;
        }

        int bytes[4] = { first, 0, 0, 0 };
        const int expected = expectedLength(first);
        int count = 1;
        qsizetype reading = i + 3;
        while (count < expected) {
            // Encoders break lines between the escapes of one character too.
            while (reading < size) {
                const qsizetype after = softBreakEnd(in, size, reading);
                if (after < 0)
                    break;
                reading = after;
            }
            if (reading + 2 >= size || in[reading] != u'=')
                break;
            const int byte = byteValue(in[reading + 1], in[reading + 2]);
            if (byte < 0)
                break;
            bytes[count++] = byte;
            reading += 3;
        }

        const char32_t codePoint = count == expected ? decodeSequence(bytes, count) : char32_t(-1);
        if (codePoint == char32_t(-1)) {
            // The first escape stays as written; reading resumes right after it, so each
            // further escape is decoded on its own (or kept) and none is lost.
            out[0] = in[i];
            out[1] = in[i + 1];
            out[2] = in[i + 2];
            out += 3;
            i += 3;
            continue;
        }
        if (codePoint >= 0x10000) {
            *out++ = char16_t(0xD800 + ((codePoint - 0x10000) >> 10));
            *out++ = char16_t(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
        } else {
            *out++ = char16_t(codePoint);
        }
        i = reading;
    }

    result.truncate(out - outStart);
    return result;
}

QString decodeQuotedPrintable(const QString& text, const QString& charset)
{
    if (Charset::isUtf8(charset))
        return decodeQuotedPrintable(text);

    const char16_t* const in = reinterpret_cast<const char16_t*>(text.constData());
    const qsizetype size = text.size();
    QString result;
    result.reserve(size);
    QByteArray bytes;
    // Bytes are read in the set up to a character that is not ASCII, which the file holds as text.
    const auto flush = [&] {
        if (bytes.isEmpty())
            return true;
        const std::optional<QString> decoded = Charset::decode(bytes, charset);
        if (!decoded)
            return false;
        result += *decoded;
        bytes.clear();
        return true;
    };
    qsizetype i = 0;
    while (i < size) {
        const char16_t c = in[i];
        if (c != u'=') {
            if (c < 0x80) {
                bytes.append(char(c));
            } else {
                if (!flush())
                    return decodeQuotedPrintable(text);
                result += QChar(c);
            }
            ++i;
            continue;
        }
        if (i + 1 == size)
            break;
        if (const qsizetype after = softBreakEnd(in, size, i); after >= 0) {
            i = after;
            continue;
        }
        const int byte = i + 2 < size ? byteValue(in[i + 1], in[i + 2]) : -1;
        if (byte < 0) {
            bytes.append('=');
            ++i;
            continue;
        }
        bytes.append(char(byte));
        i += 3;
    }
    if (!flush())
        return decodeQuotedPrintable(text);
    return result;
}

} // namespace veltrin
