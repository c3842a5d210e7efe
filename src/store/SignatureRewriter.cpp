#include "SignatureRewriter.h"

#include "Charset.h"
#include "MimeReader.h"
#include "QuotedPrintable.h"
#include "QuotedPrintableEncoder.h"
#include "SignatureReader.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>

namespace veltrin {

namespace {

struct HeaderLine {
    QString text;
    QString lineBreak;
};

QList<HeaderLine> headerLines(const QString& header)
{
    QList<HeaderLine> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < header.size(); ++i) {
        if (!isLineBreak(header[i]))
            continue;
        const qsizetype breakLength
            = (header[i] == u'\r' && i + 1 < header.size() && header[i + 1] == u'\n') ? 2 : 1;
        lines.append({ header.mid(start, i - start), header.mid(i, breakLength) });
        i += breakLength - 1;
        start = i + 1;
    }
    lines.append({ header.mid(start), QString() });
    return lines;
}

// One header with its continuation lines, as a piece of the original text and the break
// after it. Empty lines (which only odd line breaks such as CR CR make) are left out: kept
// next to a removed header they could join into a blank line and end the header block.
struct HeaderField {
    QString text;
    QString lineBreak;
    QString name;
};

QList<HeaderField> headerFields(const QString& header)
{
    QList<HeaderField> fields;
    for (const HeaderLine& line : headerLines(header)) {
        if (line.text.isEmpty())
            continue;
        const bool startsField = !isWhiteSpace(line.text.front());
        if (startsField || fields.isEmpty()) {
            const qsizetype colon = line.text.indexOf(u':');
            fields.append({ line.text, line.lineBreak,
                startsField && colon >= 0 ? line.text.left(colon).trimmed().toLower() : QString() });
        } else {
            HeaderField& field = fields.back();
            field.text += field.lineBreak + line.text;
            field.lineBreak = line.lineBreak;
        }
    }
    return fields;
}

// Whether a header says something about the body: every Content- header, and any line
// the reader would take for the body's type or for quoted-printable.
bool describesBody(const HeaderField& field)
{
    return field.name.startsWith(QLatin1String("content-")) || findContentTypeLine(field.text).has_value()
        || declaresQuotedPrintable(field.text);
}

bool isAscii(QStringView text)
{
    return QtPrivate::isAscii(text);
}

// The range of one header field, continuation lines included, in a header block. In the
// file's header the first line that contains "name:" counts, as the reader takes it; in a
// part's header the last field of that name, as a later one replaces an earlier one there.
struct FieldRange {
    qsizetype start = -1;
    qsizetype end = -1;
};

FieldRange fieldRange(const QString& block, QLatin1StringView lowerName, bool inPart)
{
    FieldRange found;
    const QList<QStringView> lines = splitLines(block);
    const auto offset = [&](QStringView line) { return qsizetype(line.data() - block.constData()); };
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString lower = lines[i].toString().toLower();
        const qsizetype colon = lower.indexOf(u':');
        const bool matches = inPart ? (!lower.isEmpty() && !isWhiteSpace(lower.front()) && colon >= 0
                                 && QStringView(lower).first(colon) == lowerName)
                                    : lower.contains(QString(lowerName) + u':');
        if (!matches)
            continue;
        FieldRange range { offset(lines[i]), offset(lines[i]) + lines[i].size() };
        for (qsizetype next = i + 1; next < lines.size(); ++next) {
            const QStringView line = lines[next];
            const qsizetype at = offset(line);
            if (line.isEmpty() && at > 0 && at < block.size() && block[at - 1] == u'\r' && block[at] == u'\n')
                continue;
            if (line.isEmpty() || !isWhiteSpace(line.front()))
                break;
            range.end = at + line.size();
        }
        found = range;
        if (!inPart)
            break;
    }
    return found;
}

// Declares UTF-8 where the Content-Type names another character set.
void declareUtf8(QString& block, bool inPart)
{
    const FieldRange range = fieldRange(block, QLatin1StringView("content-type"), inPart);
    if (range.start < 0)
        return;
    static const QRegularExpression parameter(QStringLiteral(R"((;\s*charset\s*=\s*)("[^"]*"|[^;\s]*))"),
        QRegularExpression::CaseInsensitiveOption);
    const QString field = block.mid(range.start, range.end - range.start);
    const QRegularExpressionMatch match = parameter.match(field);
    if (!match.hasMatch())
        return;
    const QString value
        = match.captured(2).startsWith(u'"') ? QStringLiteral("\"utf-8\"") : QStringLiteral("utf-8");
    block.replace(range.start + match.capturedStart(2), match.capturedLength(2), value);
}

// Gives the Content-Transfer-Encoding field a new value. Without one (which means 7bit), the
// field is added after the Content-Type, in the block's own line ends.
void declareTransferEncoding(QString& block, bool inPart, const QString& value)
{
    const FieldRange range = fieldRange(block, QLatin1StringView("content-transfer-encoding"), inPart);
    if (range.start >= 0) {
        const qsizetype colon = block.indexOf(u':', range.start);
        block.replace(colon + 1, range.end - colon - 1, u' ' + value);
        return;
    }
    const FieldRange type = fieldRange(block, QLatin1StringView("content-type"), inPart);
    if (type.start < 0)
        return;
    const qsizetype lineFeed = block.indexOf(u'\n');
    const QString lineEnd = lineFeed > 0 && block[lineFeed - 1] == u'\r' ? QStringLiteral("\r\n") : QStringLiteral("\n");
    block.insert(type.end, lineEnd + u"Content-Transfer-Encoding: " + value);
}

void declareShownText(const QString& html, const SignatureLayout& layout, QString& block, bool inPart);

// The HTML (given also as UTF-8) as the source holds it, encoded again as the header block
// declares; where the declaration no longer fits the text, the block is changed to tell the truth.
QByteArray encodeSource(const QString& html, const QByteArray& utf8Html, const SignatureLayout& layout,
    QString& block, bool inPart, QLatin1StringView lineEnd)
{
    if (layout.quotedPrintable) {
        if (Charset::isUtf8(layout.charset))
            return encodeQuotedPrintable(utf8Html, lineEnd, true);
        if (const std::optional<QByteArray> bytes = Charset::encode(html, layout.charset))
            return encodeQuotedPrintable(*bytes, lineEnd, false);
        declareUtf8(block, inPart);
        return encodeQuotedPrintable(utf8Html, lineEnd, true);
    }
    declareShownText(html, layout, block, inPart);
    return utf8Html;
}

// For a source shown as written: the text goes back as it is, in the file's UTF-8, under a
// declaration that fits it.
void declareShownText(const QString& html, const SignatureLayout& layout, QString& block, bool inPart)
{
    const bool ascii = isAscii(html);
    if (!ascii && !Charset::isUtf8(layout.charset))
        declareUtf8(block, inPart);
    const QString& encoding = layout.transferEncoding;
    // No declaration means 7bit, as much as an explicit one does.
    const bool sevenBit = encoding.contains(QLatin1StringView("7bit"))
        || fieldRange(block, QLatin1StringView("content-transfer-encoding"), inPart).start < 0;
    if ((encoding.contains(QLatin1StringView("base64")) && !SignatureReader::isBase64(html))
        || (sevenBit && !ascii))
        declareTransferEncoding(block, inPart, QStringLiteral("8bit"));
}

bool isBase64Letter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') || u == u'+'
        || u == u'/' || u == u'=';
}

// Puts back the cid: references that the reader turned into data: addresses, in one pass for
// all images. An address that continues (a longer one pasted by the user) is not this image's.
// Built piece by piece: the addresses are often megabytes, the references a few characters.
QString referencesBack(const QString& html, const QList<SignatureLayout::Image>& images)
{
    QHash<QString, const QString*> idOf;
    qsizetype longestPrefix = 0;
    for (const SignatureLayout::Image& image : images) {
        if (!idOf.contains(image.address))
            idOf.insert(image.address, &image.contentId);
        const qsizetype base64 = image.address.indexOf(u";base64,");
        longestPrefix = std::max(longestPrefix, base64 < 0 ? image.address.size() : base64 + 8);
    }
    if (idOf.isEmpty())
        return html;
    const QStringView text(html);
    QString result;
    qsizetype copied = 0;
    for (qsizetype found = text.indexOf(u"data:"); found >= 0; found = text.indexOf(u"data:", found + 5)) {
        // The address runs over the media type to ";base64," and then over every Base64 letter.
        const QStringView window = text.sliced(found, std::min(longestPrefix, text.size() - found));
        const qsizetype marker = window.indexOf(u";base64,");
        if (marker < 0)
            continue;
        qsizetype end = found + marker + 8;
        while (end < text.size() && isBase64Letter(text[end]))
            ++end;
        const auto image = idOf.constFind(text.sliced(found, end - found).toString());
        if (image == idOf.constEnd())
            continue;
        result += text.sliced(copied, found - copied);
        result += u"cid:" + **image;
        copied = end;
        found = end - 5;
    }
    if (copied == 0)
        return html;
    result += text.sliced(copied);
    return result;
}

// How many bytes UTF-8 takes for valid UTF-16 text (a surrogate pair takes four).
qsizetype utf8Length(QStringView text)
{
    qsizetype length = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        length += u < 0x80 ? 1 : (u < 0x800 || QChar::isSurrogate(u)) ? 2 : 3;
    }
    return length;
}

// A piece of a file: bytes as they are, or text to write as UTF-8.
struct Piece {
    Piece(QByteArrayView bytes)
        : bytes(bytes)
    {
    }
    Piece(const QByteArray& bytes)
        : bytes(bytes)
    {
    }
    Piece(const char* bytes)
        : bytes(bytes)
    {
    }
    Piece(const QString& text)
        : text(text)
        , isText(true)
    {
    }
    QByteArrayView bytes;
    QStringView text;
    bool isText = false;
};

// The pieces joined in one buffer, with the line end added where the last byte is not a line
// feed, then the tail. Text is encoded straight into place: a large HTML is not copied once
// more on its way.
QByteArray joinedWithLineEnd(
    std::initializer_list<Piece> pieces, QLatin1StringView lineEnd, QByteArrayView tail = {})
{
    qsizetype size = lineEnd.size() + tail.size();
    for (const Piece& piece : pieces)
        size += piece.isText ? 3 * piece.text.size() : piece.bytes.size();
    QByteArray joined;
    joined.reserve(size);
    QStringEncoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    for (const Piece& piece : pieces) {
        if (!piece.isText) {
            joined.append(piece.bytes);
            continue;
        }
        const qsizetype used = joined.size();
        joined.resize(used + 3 * piece.text.size());
        joined.truncate(utf8.appendToBuffer(joined.data() + used, piece.text) - joined.constData());
    }
    if (!joined.endsWith('\n'))
        joined.append(lineEnd);
    joined.append(tail);
    return joined;
}

// The text composeText() gives, as UTF-8.
QByteArray composedBytes(const QString& header, const QString& html)
{
    const QLatin1StringView lineEnd("\n");
    if (declaresMultipart(header))
        return joinedWithLineEnd({ SignatureRewriter::singlePartHeader(header), "\n\n", html }, lineEnd);
    if (declaresQuotedPrintable(header))
        return joinedWithLineEnd(
            { header, "\n\n", encodeQuotedPrintable(html.toUtf8(), lineEnd, true) }, lineEnd);
    return joinedWithLineEnd({ header, "\n\n", html }, lineEnd);
}

QStringDecoder utf8Decoder()
{
    // A byte order mark stays in the text, as the reader keeps it.
    return QStringDecoder(QStringConverter::Utf8,
        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
}

// A multipart file whose header is unchanged: the parts around the HTML are kept as bytes.
QByteArray composeMultipart(const QString& header, const QString& html, const QByteArray& old)
{
    QStringDecoder utf8 = utf8Decoder();
    const QString oldText = utf8.decode(old);
    const SignatureLayout layout = SignatureReader::layout(oldText);
    if (html == layout.content.html)
        return old;
    const QLatin1StringView lineEnd(layout.separator.startsWith(u'\r') ? "\r\n" : "\n");
    if (layout.source == SignatureLayout::Source::HtmlPart) {
        QString block = oldText.mid(layout.headerStart, layout.headerEnd - layout.headerStart);
        const QString source = referencesBack(html, layout.images);
        const QByteArray body = encodeSource(source, source.toUtf8(), layout, block, true, lineEnd);
        const QStringView text(oldText);
        const qsizetype headerStart = utf8Length(text.first(layout.headerStart));
        const qsizetype headerEnd = headerStart
            + utf8Length(text.sliced(layout.headerStart, layout.headerEnd - layout.headerStart));
        const qsizetype sourceStart
            = headerEnd + utf8Length(text.sliced(layout.headerEnd, layout.sourceStart - layout.headerEnd));
        const qsizetype sourceEnd = sourceStart
            + utf8Length(text.sliced(layout.sourceStart, layout.sourceEnd - layout.sourceStart));
        const QByteArrayView bytes(old);
        // A delimiter that stood in the middle of the HTML's last line stays there: a line end
        // goes in only where the old text had one, or where nothing follows.
        const bool endedLine = layout.sourceEnd == layout.sourceStart || isLineBreak(oldText[layout.sourceEnd - 1]);
        const bool last = sourceEnd == bytes.size();
        return joinedWithLineEnd(
            { bytes.first(headerStart), block, bytes.sliced(headerEnd, sourceStart - headerEnd), body },
            endedLine || last ? lineEnd : QLatin1StringView(), bytes.sliced(sourceEnd));
    }
    // Still parts of this boundary: the header stays true. Otherwise the text is one HTML body.
    const std::optional<QString> line = findContentTypeLine(header);
    const std::optional<QString> boundary = line ? extractBoundary(*line) : std::nullopt;
    const bool parts = boundary && !parseMIMEPartViews(html, *boundary).isEmpty();
    const QString block = parts ? header : SignatureRewriter::singlePartHeader(header);
    return joinedWithLineEnd({ block, layout.separator.toLatin1(), html }, lineEnd);
}

} // namespace

QByteArray SignatureRewriter::composeFile(const QString& header, const QString& html, const QByteArray& old)
{
    // Only the header block is decoded here: the body of a large file is compared and kept as bytes.
    if (!old.isValidUtf8())
        return composedBytes(header, html);
    const QByteArrayView bytes(old);
    const qsizetype lf = bytes.indexOf("\n\n");
    const qsizetype crlf = bytes.first(lf < 0 ? bytes.size() : lf).indexOf("\r\n\r\n");
    const qsizetype blank = crlf >= 0 ? crlf : lf;
    // Valid UTF-8 always decodes to valid UTF-16, so other text can't be what the file shows.
    const bool validHtml = html.isValidUtf16();
    if (blank < 0) {
        // The whole text is the HTML.
        if (header.isEmpty() && validHtml && utf8Length(html) == bytes.size() && html.toUtf8() == bytes)
            return old;
        return composedBytes(header, html);
    }
    SignatureLayout layout;
    QStringDecoder utf8 = utf8Decoder();
    layout.content.header = utf8.decode(bytes.first(blank));
    // Another header than the file holds now: the file changed since it was read, so its
    // shape says nothing about this text.
    if (layout.content.header != header)
        return composedBytes(header, html);
    const std::optional<QString> line = findContentTypeLine(header);
    if (line && line->toLower().contains(QLatin1StringView("multipart/")) && extractBoundary(*line))
        return composeMultipart(header, html, old);

    SignatureReader::readBodyDeclarations(layout, line);
    const QByteArrayView separator = bytes.sliced(blank, crlf >= 0 ? 4 : 2);
    const QByteArrayView body = bytes.sliced(blank + separator.size());
    const QLatin1StringView lineEnd(crlf >= 0 ? "\r\n" : "\n");
    QString block = header;
    if (layout.quotedPrintable) {
        if (decodeQuotedPrintable(utf8.decode(body), layout.charset) == html)
            return old;
        const QByteArray encoded = encodeSource(html, html.toUtf8(), layout, block, false, lineEnd);
        return joinedWithLineEnd({ block, separator, encoded }, lineEnd);
    }
    declareShownText(html, layout, block, false);
    QByteArray composed = joinedWithLineEnd({ block, separator, html }, lineEnd);
    // The HTML's bytes in what was composed are the body's: the text is unchanged.
    const qsizetype htmlStart = utf8Length(block) + separator.size();
    const bool lineEndAdded = !html.isEmpty() && !html.endsWith(u'\n');
    const qsizetype htmlSize = composed.size() - htmlStart - (lineEndAdded ? lineEnd.size() : 0);
    if (validHtml && htmlSize == body.size() && QByteArrayView(composed).sliced(htmlStart, htmlSize) == body)
        return old;
    return composed;
}

QString SignatureRewriter::singlePartHeader(const QString& header)
{
    const QList<HeaderField> fields = headerFields(header);
    QString lineBreak = QStringLiteral("\n");
    for (const HeaderLine& line : headerLines(header)) {
        if (!line.lineBreak.isEmpty()) {
            lineBreak = line.lineBreak;
            break;
        }
    }
    const HeaderField declaration { u"Content-Type: text/html; charset=utf-8" + lineBreak
            + u"Content-Transfer-Encoding: 8bit",
        lineBreak, {} };

    QList<HeaderField> kept;
    bool declared = false;
    for (const HeaderField& field : fields) {
        if (!describesBody(field)) {
            kept.append(field);
        } else if (!declared) {
            // In the place of the first header that described the body.
            kept.append(declaration);
            declared = true;
        }
    }
    if (!declared)
        kept.prepend(declaration);

    QString result;
    for (qsizetype i = 0; i < kept.size(); ++i) {
        result += kept[i].text;
        if (i + 1 < kept.size())
            result += kept[i].lineBreak;
    }
    return result;
}

QString SignatureRewriter::composeText(const QString& header, const QString& html)
{
    QString text;
    if (declaresMultipart(header))
        text = singlePartHeader(header) + u"\n\n" + html;
    else if (declaresQuotedPrintable(header))
        text = header + u"\n\n" + encodeQuotedPrintable(html);
    else
        text = header + u"\n\n" + html;
    if (!text.endsWith(u'\n'))
        text += u'\n';
    return text;
}

} // namespace veltrin
