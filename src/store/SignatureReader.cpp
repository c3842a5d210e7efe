#include "SignatureReader.h"

#include "MimeReader.h"
#include "QuotedPrintable.h"
#include "platform/FileOperations.h"

#include <QByteArray>
#include <QHash>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

namespace veltrin {

namespace {

QString lowerValue(const MIMEPartView& part, const QString& name)
{
    return part.headers.value(name).toLower();
}

// Case-insensitive match of an ASCII keyword given in lower case. No non-ASCII character
// folds onto the letters of the keywords used here, so this equals a full Unicode test.
bool hasAsciiKeywordAt(QStringView text, qsizetype position, QLatin1StringView lowerKeyword)
{
    if (position < 0 || text.size() - position < lowerKeyword.size())
        return false;
    for (qsizetype i = 0; i < lowerKeyword.size(); ++i) {
        char16_t c = text[position + i].unicode();
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c + (u'a' - u'A'));
        if (c != char16_t(lowerKeyword[i].unicode()))
            return false;
    }
    return true;
}

bool isAsciiSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

constexpr std::array<signed char, 128> makeBase64Table()
{
    std::array<signed char, 128> table {};
    for (auto& entry : table)
        entry = -1;
    for (int c = 'A'; c <= 'Z'; ++c)
        table[c] = static_cast<signed char>(c - 'A');
    for (int c = 'a'; c <= 'z'; ++c)
        table[c] = static_cast<signed char>(c - 'a' + 26);
    for (int c = '0'; c <= '9'; ++c)
        table[c] = static_cast<signed char>(c - '0' + 52);
    table['+'] = 62;
    table['/'] = 63;
    return table;
}

constexpr std::array<signed char, 128> base64Table = makeBase64Table();

int base64Value(char16_t c)
{
    return c < 128 ? base64Table[c] : -1;
}

// Branch-free so that the compiler can vectorise the check of megabytes of image data.
unsigned isBase64Letter(char16_t c)
{
    const unsigned u = c;
    return unsigned((u | 0x20u) - u'a' < 26u) | unsigned(u - u'0' < 10u) | unsigned(u == u'+')
        | unsigned(u == u'/');
}

// "data:", the media type, ";base64," and the part's Base64 in one padded line; nothing when
// the Base64 doesn't decode: only the alphabet and "=" padding at the end are allowed, though
// missing padding is accepted. Line feeds and carriage returns are removed first, then spaces
// and tabs at both ends.
std::optional<QString> dataAddress(QStringView mediaType, QStringView body)
{
    const QString prefix = u"data:"_s + mediaType + u";base64,"_s;
    QString address(prefix.size() + body.size() + 2, Qt::Uninitialized);
    char16_t* const start = reinterpret_cast<char16_t*>(address.data());
    std::memcpy(start, prefix.constData(), size_t(prefix.size()) * sizeof(char16_t));
    char16_t* const letters = start + prefix.size();

    // Copy line by line; a carriage return inside a line is rare and removed afterwards.
    char16_t* out = letters;
    for (qsizetype from = 0; from < body.size();) {
        qsizetype lineEnd = body.indexOf(u'\n', from);
        const qsizetype next = lineEnd < 0 ? body.size() : lineEnd + 1;
        if (lineEnd < 0)
            lineEnd = body.size();
        if (lineEnd > from && body[lineEnd - 1] == u'\r')
            --lineEnd;
        std::memcpy(out, body.data() + from, size_t(lineEnd - from) * sizeof(char16_t));
        out += lineEnd - from;
        from = next;
    }
    if (QStringView(letters, out - letters).contains(u'\r'))
        out = std::remove(letters, out, u'\r');

    const QStringView trimmed = trimmedOfSpacesAndTabs(QStringView(letters, out - letters));
    const qsizetype size = trimmed.size();
    if (trimmed.data() != reinterpret_cast<const QChar*>(letters))
        std::memmove(letters, trimmed.data(), size_t(size) * sizeof(char16_t));

    qsizetype padding = 0;
    while (padding < size && letters[size - 1 - padding] == u'=')
        ++padding;
    const qsizetype count = size - padding;
    if (padding > 2 || count % 4 == 1 || (padding > 0 && size % 4 != 0))
        return std::nullopt;
    unsigned valid = 1;
    for (qsizetype i = 0; i < count; ++i)
        valid &= isBase64Letter(letters[i]);
    if (!valid)
        return std::nullopt;

    // Encoding the decoded bytes again gives the same letters unless the bits after the last
    // byte are set; only then is the round trip made.
    const int unusedBits = count % 4 == 2 ? 0x0F : count % 4 == 3 ? 0x03 : 0;
    if (count > 0 && (base64Value(letters[count - 1]) & unusedBits) != 0) {
        const QByteArray bytes = QByteArray::fromBase64(QStringView(letters, count).toLatin1());
        return prefix + QString::fromLatin1(bytes.toBase64());
    }
    qsizetype end = prefix.size() + size;
    if (padding == 0) {
        for (qsizetype i = count % 4; i != 0 && i < 4; ++i)
            start[end++] = u'=';
    }
    address.truncate(end);
    return address;
}

QString contentIdOf(const MIMEPartView& part)
{
    const QString value = part.headers.value(u"content-id"_s);
    QStringView id(value);
    while (!id.isEmpty() && (id.front() == u'<' || id.front() == u'>'))
        id = id.sliced(1);
    while (!id.isEmpty() && (id.back() == u'<' || id.back() == u'>'))
        id.chop(1);
    return id.toString();
}

QString mediaTypeOf(const MIMEPartView& part)
{
    const QString value = part.headers.value(u"content-type"_s);
    for (const QStringView piece : QStringView(value).split(u';', Qt::SkipEmptyParts))
        return trimmedOfSpacesAndTabs(piece).toString();
    return {};
}

struct InlineImage {
    QString contentId;
    const MIMEPartView* part;
};

// Every image's content id and, when its Base64 decodes, its data address, in part order.
struct ImageAddress {
    QString contentId;
    std::optional<QString> address;
};

// Replaces each "cid:" + id with the address of the first image of that id that decodes, in
// one pass for all images. A reference that spells a longer content id of another image
// ("cid:logo2" beside "logo") belongs to that image, and stays when it does not decode.
QString replaceReferences(const QString& html, const std::vector<ImageAddress>& images)
{
    QHash<QString, const QString*> byId;
    std::vector<qsizetype> lengths;
    for (const ImageAddress& image : images) {
        const auto found = byId.find(image.contentId);
        if (found == byId.end())
            byId.insert(image.contentId, image.address ? &*image.address : nullptr);
        else if (!*found && image.address)
            *found = &*image.address;
        lengths.push_back(image.contentId.size());
    }
    // Longest first: the first length that names an image decides.
    std::sort(lengths.begin(), lengths.end(), std::greater<>());
    lengths.erase(std::unique(lengths.begin(), lengths.end()), lengths.end());

    const QStringView text(html);
    QString result;
    qsizetype copied = 0;
    bool changed = false;
    // Base64 holds no ":", so the search skips inlined images quickly.
    for (qsizetype found = text.indexOf(u"cid:"_s); found >= 0; found = text.indexOf(u"cid:"_s, found + 4)) {
        const qsizetype idStart = found + 4;
        const QString* address = nullptr;
        qsizetype idLength = 0;
        for (const qsizetype length : lengths) {
            if (idStart + length > text.size())
                continue;
            const auto image = byId.constFind(text.sliced(idStart, length).toString());
            if (image != byId.constEnd()) {
                address = *image;
                idLength = length;
                break;
            }
        }
        if (!address)
            continue;
        if (!changed)
            result.reserve(html.size() + address->size());
        result += text.sliced(copied, found - copied);
        result += *address;
        copied = idStart + idLength;
        found = copied - 4;
        changed = true;
    }
    if (!changed)
        return html;
    result += text.sliced(copied);
    return result;
}

bool equalsIgnoringCase(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    if (std::memcmp(a.data(), b.data(), size_t(a.size()) * sizeof(QChar)) == 0)
        return true;
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The images' data addresses, found by their spelling in any letter case. An address runs to
// megabytes, so it is looked up by its length and ends, and only a candidate is compared whole.
class CaselessAddresses final {
public:
    explicit CaselessAddresses(const std::vector<ImageAddress>& images)
    {
        for (const ImageAddress& image : images) {
            if (!image.address)
                continue;
            std::vector<const QString*>& bucket = m_byKey[keyOf(*image.address)];
            // The first image of an address gives its spelling.
            if (std::none_of(bucket.begin(), bucket.end(),
                    [&](const QString* known) { return equalsIgnoringCase(*known, *image.address); }))
                bucket.push_back(&*image.address);
        }
    }

    bool isEmpty() const { return m_byKey.isEmpty(); }

    const QString* find(QStringView spelling) const
    {
        const auto bucket = m_byKey.constFind(keyOf(spelling));
        if (bucket == m_byKey.constEnd())
            return nullptr;
        for (const QString* address : *bucket) {
            if (equalsIgnoringCase(*address, spelling))
                return address;
        }
        return nullptr;
    }

private:
    static QString keyOf(QStringView address)
    {
        constexpr qsizetype end = 48;
        return QString::number(address.size()) + u':' + address.first(qMin(end, address.size())).toString().toLower()
            + u':' + address.last(qMin(end, address.size())).toString().toLower();
    }

    QHash<QString, std::vector<const QString*>> m_byKey;
};

// The end of the OBJECT start tag at `start` whose data attribute is exactly one of the
// addresses (in any letter case), matched the way a case-insensitive
// `<OBJECT[^>]*?data="address"[^>]*?>` matches there, or -1; `address` receives the image's
// own spelling. `tagEnd` receives the first ">" after the tag name (or the text's size).
qsizetype matchObjectTag(QStringView text, qsizetype start, const CaselessAddresses& addresses,
    const QString** address, qsizetype* tagEnd)
{
    const qsizetype nameEnd = start + 7;
    qsizetype close = text.indexOf(u'>', nameEnd);
    *tagEnd = close < 0 ? text.size() : close;
    if (close < 0)
        return -1;
    for (qsizetype p = nameEnd; p < close; ++p) {
        if (!hasAsciiKeywordAt(text, p, "data=\""_L1))
            continue;
        const qsizetype value = p + 6;
        // An address holds no quote: the value up to the next one is the candidate.
        const qsizetype quote = text.indexOf(u'"', value);
        if (quote < 0)
            return -1;
        const QString* found = addresses.find(text.sliced(value, quote - value));
        if (!found)
            continue;
        const qsizetype end = text.indexOf(u'>', quote + 1);
        *address = found;
        return end < 0 ? -1 : end + 1;
    }
    return -1;
}

bool isObjectStartTag(QStringView text, qsizetype position)
{
    const qsizetype next = position + 7;
    return next >= text.size() || isAsciiSpace(text[next]) || text[next] == u'>' || text[next] == u'/';
}

// The end of a closing OBJECT tag at `position` ("</object", optional space, ">"), or -1.
qsizetype closingObjectTagEnd(QStringView text, qsizetype position)
{
    if (!hasAsciiKeywordAt(text, position, "</object"_L1))
        return -1;
    qsizetype i = position + 8;
    while (i < text.size() && isAsciiSpace(text[i]))
        ++i;
    return i < text.size() && text[i] == u'>' ? i + 1 : -1;
}

// Turns OBJECT elements showing one of the addresses into img elements and drops their
// closing tags, in one pass for all images. Closing tags of other OBJECT elements stay, so
// their content isn't swallowed.
QString rewriteObjects(const QString& html, const std::vector<ImageAddress>& images)
{
    const CaselessAddresses addresses(images);
    if (addresses.isEmpty())
        return html;
    const QStringView text(html);

    QString result;
    bool changed = false;
    qsizetype copied = 0;
    std::vector<bool> openRewritten;
    // A failed candidate fails for every later "<object" inside the same tag, so the rest of
    // that tag is skipped; this keeps the rewrite linear in the size of the HTML.
    qsizetype failedTagEnd = -1;
    qsizetype position = 0;
    for (;;) {
        const qsizetype lt = text.indexOf(u'<', position);
        if (lt < 0)
            break;
        position = lt + 1;
        if (lt < failedTagEnd)
            continue; // inside a tag already looked at
        if (hasAsciiKeywordAt(text, lt, "<object"_L1)) {
            qsizetype tagEnd = -1;
            const QString* address = nullptr;
            const qsizetype end = matchObjectTag(text, lt, addresses, &address, &tagEnd);
            if (end >= 0) {
                if (!changed)
                    result.reserve(html.size());
                result += text.sliced(copied, lt - copied);
                result += u"<img src=\""_s + *address + u"\" style=\"max-width:100%;height:auto\">"_s;
                copied = position = end;
                changed = true;
                openRewritten.push_back(true);
                continue;
            }
            failedTagEnd = tagEnd;
            if (isObjectStartTag(text, lt))
                openRewritten.push_back(false);
        } else if (const qsizetype end = closingObjectTagEnd(text, lt); end >= 0 && !openRewritten.empty()) {
            const bool rewritten = openRewritten.back();
            openRewritten.pop_back();
            if (rewritten) {
                result += text.sliced(copied, lt - copied);
                copied = position = end;
            }
        }
    }
    if (!changed)
        return html;
    result += text.sliced(copied);
    return result;
}

// The first header line of `header` whose lower-case form contains the keyword, with its
// continuation lines (as findContentTypeLine assembles them), trimmed after the colon.
QString headerValue(const QString& header, QLatin1StringView lowerKeyword)
{
    for (const QStringView line : splitLines(header)) {
        const QString lower = line.toString().toLower();
        const qsizetype at = lower.indexOf(lowerKeyword);
        if (at >= 0)
            return trimmedOfSpacesAndTabs(line.sliced(at + lowerKeyword.size())).toString().toLower();
    }
    return {};
}

void readMultipart(SignatureLayout& layout, const QString& text, QStringView body, const QString& boundary)
{
    const QList<MIMEPartView> parts = parseMIMEPartViews(body, boundary);
    const QString contentType = u"content-type"_s;
    const QString transferEncoding = u"content-transfer-encoding"_s;
    const auto offset = [&](QStringView view) { return qsizetype(view.data() - text.constData()); };

    const auto htmlPart = std::find_if(parts.begin(), parts.end(),
        [&](const MIMEPartView& part) { return lowerValue(part, contentType).contains("text/html"_L1); });
    if (htmlPart == parts.end()) {
        layout.source = SignatureLayout::Source::WholeMultipartBody;
        layout.content.html = body.toString();
        return;
    }

    layout.source = SignatureLayout::Source::HtmlPart;
    layout.sourceStart = offset(htmlPart->body);
    layout.sourceEnd = layout.sourceStart + htmlPart->body.size();
    layout.headerStart = offset(htmlPart->headerText);
    layout.headerEnd = layout.headerStart + htmlPart->headerText.size();
    layout.transferEncoding = lowerValue(*htmlPart, transferEncoding);
    layout.charset = extractParameter(htmlPart->headers.value(contentType), "charset"_L1).value_or(QString());
    layout.quotedPrintable = layout.transferEncoding.contains("quoted-printable"_L1);

    QString html = htmlPart->body.toString();
    if (layout.quotedPrintable)
        html = decodeQuotedPrintable(html, layout.charset);

    QList<InlineImage> images;
    for (const MIMEPartView& part : parts) {
        if (lowerValue(part, contentType).contains("image/"_L1) && part.headers.contains(u"content-id"_s)
            && lowerValue(part, transferEncoding).contains("base64"_L1))
            images.append({ contentIdOf(part), &part });
    }

    std::vector<ImageAddress> addresses;
    addresses.reserve(size_t(images.size()));
    for (const InlineImage& image : images) {
        std::optional<QString> address = dataAddress(mediaTypeOf(*image.part), image.part->body);
        if (address)
            layout.images.append({ image.contentId, *address });
        addresses.push_back({ image.contentId, std::move(address) });
    }
    html = rewriteObjects(replaceReferences(html, addresses), addresses);
    layout.content.html = std::move(html);
}

QString describedName(const QUrl& filePath)
{
    const QString name = QString::fromUtf8(FileOperations::nativeFileName(filePath));
    return name.isEmpty() ? filePath.toDisplayString() : name;
}

} // namespace

std::expected<SignatureContent, Error> SignatureReader::read(const QUrl& filePath, const FileOperations& files)
{
    const auto bytes = files.readFile(filePath, maxFileSize);
    if (!bytes)
        return std::unexpected(Error { u"The file %1 could not be read: %2"_s.arg(
            quotedPath(describedName(filePath)), bytes.error().description) });

    // The text is kept exactly as stored, a byte order mark included, so that saving writes back
    // the header block it was given.
    QStringDecoder decoder(QStringConverter::Utf8,
        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    const QString text = decoder.decode(*bytes);
    if (decoder.hasError())
        return std::unexpected(
            Error { u"The file %1 is not valid UTF-8 text."_s.arg(quotedPath(describedName(filePath))) });
    return parse(text);
}

SignatureContent SignatureReader::parse(const QString& text)
{
    return layout(text).content;
}

SignatureLayout SignatureReader::layout(const QString& text)
{
    SignatureLayout layout;
    const BlankLine blank = findBlankLine(text);
    if (blank.position < 0) {
        layout.content.html = text;
        layout.sourceEnd = text.size();
        return layout;
    }

    layout.content.header = text.first(blank.position);
    layout.separator = text.sliced(blank.position, blank.length);
    layout.headerEnd = blank.position;
    layout.sourceStart = blank.position + blank.length;
    layout.sourceEnd = text.size();
    const QStringView body = QStringView(text).sliced(layout.sourceStart);
    const std::optional<QString> line = findContentTypeLine(layout.content.header);
    if (line && line->toLower().contains("multipart/"_L1)) {
        if (const std::optional<QString> boundary = extractBoundary(*line)) {
            readMultipart(layout, text, body, *boundary);
            return layout;
        }
    }
    readBodyDeclarations(layout, line);
    layout.content.html = body.toString();
    if (layout.quotedPrintable)
        layout.content.html = decodeQuotedPrintable(layout.content.html, layout.charset);
    return layout;
}

void SignatureReader::readBodyDeclarations(
    SignatureLayout& layout, const std::optional<QString>& contentTypeLine)
{
    layout.source = SignatureLayout::Source::Body;
    layout.transferEncoding = headerValue(layout.content.header, "content-transfer-encoding:"_L1);
    if (contentTypeLine)
        layout.charset = extractParameter(*contentTypeLine, "charset"_L1).value_or(QString());
    layout.quotedPrintable = declaresQuotedPrintable(layout.content.header);
}

bool SignatureReader::isBase64(QStringView body)
{
    return dataAddress(u"", body).has_value();
}

} // namespace veltrin
