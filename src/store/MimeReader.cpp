#include "MimeReader.h"

using namespace Qt::StringLiterals;

namespace veltrin {

bool isWhiteSpace(QChar c)
{
    return c.isSpace();
}

bool isSpaceOrTab(QChar c)
{
    return c == u'\t' || c == u' ' || (c.unicode() > 127 && c.category() == QChar::Separator_Space);
}

bool isLineBreak(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x0A && u <= 0x0D) || u == 0x85 || u == 0x2028 || u == 0x2029;
}

QStringView trimmedOfSpacesAndTabs(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isSpaceOrTab(text[begin]))
        ++begin;
    while (end > begin && isSpaceOrTab(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

QList<QStringView> splitLines(QStringView text)
{
    QList<QStringView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isLineBreak(text[i])) {
            lines.append(text.sliced(start, i - start));
            start = i + 1;
        }
    }
    lines.append(text.sliced(start));
    return lines;
}

qsizetype indexOfAnchored(QStringView text, QStringView needle, qsizetype anchor, qsizetype from)
{
    Q_ASSERT(anchor >= 0 && anchor < needle.size());
    const qsizetype lastStart = text.size() - needle.size();
    while (from <= lastStart) {
        const qsizetype found = text.indexOf(needle[anchor], from + anchor);
        if (found < 0 || found - anchor > lastStart)
            return -1;
        const qsizetype start = found - anchor;
        if (text.sliced(start, needle.size()) == needle)
            return start;
        from = start + 1;
    }
    return -1;
}

namespace {

QStringView trimmedOfWhiteSpace(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isWhiteSpace(text[begin]))
        ++begin;
    while (end > begin && isWhiteSpace(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

bool lowerContains(QStringView text, QLatin1StringView keyword)
{
    return text.toString().toLower().contains(keyword);
}

QHash<QString, QString> readPartHeaders(QStringView headerText)
{
    QHash<QString, QString> headers;
    std::optional<QString> lastName;
    for (const QStringView line : splitLines(headerText)) {
        if (line.isEmpty())
            continue;
        if (isWhiteSpace(line.front())) {
            if (lastName)
                headers[*lastName] += trimmedOfSpacesAndTabs(line);
            continue;
        }
        const qsizetype colon = line.indexOf(u':');
        if (colon < 0)
            continue;
        QString name = line.first(colon).toString().toLower();
        headers.insert(name, trimmedOfSpacesAndTabs(line.sliced(colon + 1)).toString());
        lastName = std::move(name);
    }
    return headers;
}

} // namespace

std::optional<QString> extractParameter(const QString& contentTypeLine, QLatin1StringView lowerName)
{
    for (const QStringView piece : QStringView(contentTypeLine).split(u';')) {
        const QStringView trimmed = trimmedOfSpacesAndTabs(piece);
        if (trimmed.size() <= lowerName.size() || trimmed[lowerName.size()] != u'='
            || !trimmed.first(lowerName.size()).toString().toLower().startsWith(lowerName))
            continue;
        QStringView value = trimmed.sliced(lowerName.size() + 1);
        while (!value.isEmpty() && value.front() == u'"')
            value = value.sliced(1);
        while (!value.isEmpty() && value.back() == u'"')
            value.chop(1);
        return value.toString();
    }
    return std::nullopt;
}

std::optional<QString> extractBoundary(const QString& contentTypeLine)
{
    return extractParameter(contentTypeLine, "boundary"_L1);
}

BlankLine findBlankLine(QStringView text)
{
    const qsizetype lf = text.indexOf(u"\n\n");
    // Only a carriage return and line feed pair that comes earlier can end the block first.
    const qsizetype crlf = text.first(lf < 0 ? text.size() : lf).indexOf(u"\r\n\r\n");
    if (crlf >= 0)
        return { crlf, 4 };
    if (lf >= 0)
        return { lf, 2 };
    return {};
}

QList<MIMEPartView> parseMIMEPartViews(QStringView body, QStringView boundary)
{
    const QString delimiter = u"--"_s + boundary;
    QList<QStringView> sections;
    qsizetype start = 0;
    for (;;) {
        const qsizetype found = indexOfAnchored(body, delimiter, 0, start);
        if (found < 0)
            break;
        sections.append(body.sliced(start, found - start));
        start = found + delimiter.size();
    }
    sections.append(body.sliced(start));

    QList<MIMEPartView> parts;
    for (const QStringView section : sections) {
        const QStringView trimmed = trimmedOfWhiteSpace(section);
        if (trimmed.isEmpty() || trimmed.startsWith(u"--"))
            continue;
        const BlankLine blank = findBlankLine(section);
        if (blank.position < 0)
            continue;
        const QStringView headerText = section.first(blank.position);
        parts.append(MIMEPartView {
            readPartHeaders(headerText), section.sliced(blank.position + blank.length), headerText });
    }
    return parts;
}

QList<MIMEPart> parseMIMEParts(const QString& body, const QString& boundary)
{
    QList<MIMEPart> parts;
    for (MIMEPartView& view : parseMIMEPartViews(body, boundary))
        parts.append(MIMEPart { std::move(view.headers), view.body.toString() });
    return parts;
}

std::optional<QString> findContentTypeLine(const QString& header)
{
    const QList<QStringView> lines = splitLines(header);
    // Where a line ends in a carriage return and line feed, the empty line between them.
    const auto betweenCrAndLf = [&](qsizetype index) {
        const QStringView line = lines[index];
        const qsizetype at = line.data() - header.constData();
        return line.isEmpty() && at > 0 && at < header.size() && header[at - 1] == u'\r'
            && header[at] == u'\n';
    };
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lowerContains(lines[i], "content-type:"_L1))
            continue;
        QString assembled = lines[i].toString();
        for (qsizetype next = i + 1; next < lines.size(); ++next) {
            const QStringView line = lines[next];
            if (betweenCrAndLf(next))
                continue;
            if (line.isEmpty() || !isWhiteSpace(line.front()))
                break;
            assembled += line;
        }
        return assembled;
    }
    return std::nullopt;
}

bool declaresMultipart(const QString& header)
{
    const std::optional<QString> line = findContentTypeLine(header);
    return line && line->toLower().contains("multipart/"_L1) && extractBoundary(*line).has_value();
}

bool declaresQuotedPrintable(const QString& header)
{
    for (const QStringView line : splitLines(header)) {
        const QString lower = line.toString().toLower();
        if (lower.contains("content-transfer-encoding:"_L1) && lower.contains("quoted-printable"_L1))
            return true;
    }
    return false;
}

} // namespace veltrin
