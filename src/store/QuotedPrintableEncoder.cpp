#include "QuotedPrintableEncoder.h"

#include <QStringView>

namespace veltrin {

namespace {

constexpr qsizetype maxLineLength = 76;
// Room for the "=" of a soft line break.
constexpr qsizetype maxContentLength = maxLineLength - 1;

void appendEscape(QString& out, uchar byte)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    out += QLatin1Char('=');
    out += QLatin1Char(digits[byte >> 4]);
    out += QLatin1Char(digits[byte & 0xF]);
}

bool isLineFeedAt(QStringView text, qsizetype i)
{
    return i < text.size() && text[i] == u'\n';
}

// Where a space or tab would be the last character of a line.
bool endsLineAt(QStringView text, qsizetype i)
{
    return i == text.size() || text[i] == u'\n' || (text[i] == u'\r' && isLineFeedAt(text, i + 1));
}

} // namespace

QString encodeQuotedPrintable(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    qsizetype lineLength = 0;
    QString token;
    const QStringView view(text);

    for (qsizetype i = 0; i < view.size();) {
        const QChar c = view[i];
        if (c == u'\n') {
            out += c;
            lineLength = 0;
            ++i;
            continue;
        }
        if (c == u'\r' && isLineFeedAt(view, i + 1)) {
            out += u"\r\n";
            lineLength = 0;
            i += 2;
            continue;
        }

        // One character at a time, so that the escapes of its UTF-8 bytes stay together.
        token.clear();
        const char16_t unit = c.unicode();
        qsizetype units = 1;
        if (c.isHighSurrogate() && i + 1 < view.size() && view[i + 1].isLowSurrogate())
            units = 2;
        if ((unit >= 33 && unit <= 126 && unit != u'=') ||
            ((unit == u' ' || unit == u'\t') && !endsLineAt(view, i + 1))) {
            token += c;
        } else {
            const QByteArray bytes = view.mid(i, units).toUtf8();
            for (const char byte : bytes)
                appendEscape(token, static_cast<uchar>(byte));
        }
        i += units;

        if (lineLength + token.size() > maxContentLength) {
            out += u"=\n";
            lineLength = 0;
        }
        out += token;
        lineLength += token.size();
    }
    return out;
}

} // namespace veltrin
