#include "SignatureWriter.h"

#include "Charset.h"
#include "MimeReader.h"
#include "QuotedPrintable.h"
#include "QuotedPrintableEncoder.h"
#include "SignatureReader.h"
#include "platform/FileAttributes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrin {

namespace {

constexpr int lockedPermissions = 0600;
constexpr qint64 copyChunk = qint64(1) << 20;

// Makes a folder's new or renamed entries durable. Failure only costs durability after a
// crash, never the save itself, so it is not reported.
void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// A file made under a unique hidden name, removed again unless it was given another name.
class TemporaryCopy final {
public:
    explicit TemporaryCopy(const QString& target)
    {
        const QFileInfo info(target);
        m_path = QFile::encodeName(info.absolutePath() + u"/." + info.fileName() + u".XXXXXX");
        m_fd = ::mkstemp(m_path.data());
        m_error = m_fd < 0 ? errno : 0;
    }
    ~TemporaryCopy()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (m_error == 0 && !m_renamed)
            ::unlink(m_path.constData());
    }
    Q_DISABLE_COPY_MOVE(TemporaryCopy)

    int handle() const { return m_fd; }
    int error() const { return m_error; }
    const char* path() const { return m_path.constData(); }
    void renamed() { m_renamed = true; }

private:
    QByteArray m_path;
    int m_fd = -1;
    int m_error = 0;
    bool m_renamed = false;
};

bool writeAll(int fd, QByteArrayView bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        written += count;
    }
    return true;
}

// Gives the copy the target's name unless that name is taken: a hard link never replaces.
// A file system without hard links gets a rename after a check, which only another
// program acting in between could defeat.
int nameWithoutReplacing(TemporaryCopy& copy, const QString& target)
{
    const QByteArray name = QFile::encodeName(target);
    if (::link(copy.path(), name.constData()) == 0)
        return 0;
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return errno;
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
        return EEXIST;
    if (::rename(copy.path(), name.constData()) != 0)
        return errno;
    copy.renamed();
    return 0;
}

// Copies the bytes into a new file; an existing file is never replaced. The bytes go to a
// hidden file first, which takes the backup's name only when whole and on disk, so that a
// backup name never holds part of a copy, not even after a crash.
std::expected<void, QString> copyIntoNewFile(
    const QString& source, const QString& target, QByteArray& bytesRead)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return std::unexpected(QStringLiteral("the signature file can't be read (%1)").arg(in.errorString()));
    const auto taken
        = [] { return std::unexpected(QStringLiteral("a backup with this name already exists")); };
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
        return taken();
    TemporaryCopy out(target);
    if (out.handle() < 0)
        return std::unexpected(
            QStringLiteral("the backup can't be created (%1)").arg(qt_error_string(out.error())));
    const auto failedWrite = [] {
        return std::unexpected(
            QStringLiteral("the backup can't be written (%1)").arg(qt_error_string(errno)));
    };
    // The copy keeps the file's permissions, as a copy made by the system would.
    struct stat status { };
    if (::fstat(in.handle(), &status) != 0 || ::fchmod(out.handle(), status.st_mode & 0777) != 0)
        return failedWrite();
    // Read straight into the one buffer that the save keeps.
    bytesRead.clear();
    bytesRead.reserve(in.size() + copyChunk);
    for (;;) {
        const qsizetype used = bytesRead.size();
        bytesRead.resize(used + copyChunk);
        const qint64 count = in.read(bytesRead.data() + used, copyChunk);
        bytesRead.truncate(used + qMax(count, qint64(0)));
        if (count < 0)
            return std::unexpected(
                QStringLiteral("the signature file can't be read (%1)").arg(in.errorString()));
        if (count == 0)
            break;
        if (!writeAll(out.handle(), QByteArrayView(bytesRead).sliced(used)))
            return failedWrite();
    }
    if (::fsync(out.handle()) != 0)
        return failedWrite();
    if (const int error = nameWithoutReplacing(out, target)) {
        if (error == EEXIST)
            return taken();
        return std::unexpected(
            QStringLiteral("the backup can't be created (%1)").arg(qt_error_string(error)));
    }
    return {};
}

// A header block as lines, each with the break that ends it (a carriage return and line
// feed count as one break here, so that the file's own line ends are kept).
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

// Gives the Content-Transfer-Encoding field a new value.
void declareTransferEncoding(QString& block, bool inPart, const QString& value)
{
    const FieldRange range = fieldRange(block, QLatin1StringView("content-transfer-encoding"), inPart);
    if (range.start < 0)
        return;
    const qsizetype colon = block.indexOf(u':', range.start);
    block.replace(colon + 1, range.end - colon - 1, u' ' + value);
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
    if ((encoding.contains(QLatin1StringView("base64")) && !SignatureReader::isBase64(html))
        || (encoding.contains(QLatin1StringView("7bit")) && !ascii))
        declareTransferEncoding(block, inPart, QStringLiteral("8bit"));
}

bool isBase64Letter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') || u == u'+'
        || u == u'/' || u == u'=';
}

// Puts back the cid: references that the reader turned into data: addresses. An address
// that continues (a longer one pasted by the user) is not this image's.
// Built piece by piece: the addresses are often megabytes, the references a few characters.
QString referencesBack(const QString& html, const QList<SignatureLayout::Image>& images)
{
    QString result = html;
    for (const SignatureLayout::Image& image : images) {
        const QStringView text(result);
        QString replaced;
        qsizetype copied = 0;
        for (qsizetype found = indexOfAnchored(text, image.address, 4); found >= 0;
             found = indexOfAnchored(text, image.address, 4, found + 1)) {
            const qsizetype end = found + image.address.size();
            if (end < text.size() && isBase64Letter(text[end]))
                continue;
            replaced += text.sliced(copied, found - copied);
            replaced += u"cid:" + image.contentId;
            copied = end;
        }
        if (copied == 0)
            continue;
        replaced += text.sliced(copied);
        result = std::move(replaced);
    }
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
        return joinedWithLineEnd({ SignatureWriter::singlePartHeader(header), "\n\n", html }, lineEnd);
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
        return joinedWithLineEnd(
            { bytes.first(headerStart), block, bytes.sliced(headerEnd, sourceStart - headerEnd), body },
            lineEnd, bytes.sliced(sourceEnd));
    }
    // Still parts of this boundary: the header stays true. Otherwise the text is one HTML body.
    const std::optional<QString> line = findContentTypeLine(header);
    const std::optional<QString> boundary = line ? extractBoundary(*line) : std::nullopt;
    const bool parts = boundary && !parseMIMEPartViews(html, *boundary).isEmpty();
    const QString block = parts ? header : SignatureWriter::singlePartHeader(header);
    return joinedWithLineEnd({ block, layout.separator.toLatin1(), html }, lineEnd);
}

} // namespace

QByteArray SignatureWriter::composeFile(const QString& header, const QString& html, const QByteArray& old)
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

SignatureWriter::SignatureWriter(FileAttributes& attributes, Clock now)
    : m_attributes(attributes)
    , m_now(std::move(now))
{
}

QString SignatureWriter::backupFolder(const QUrl& filePath)
{
    return QDir(QFileInfo(filePath.toLocalFile()).absolutePath()).filePath(QStringLiteral("VeltrinBackup"));
}

QString SignatureWriter::backupFileName(const QUrl& filePath, const QDateTime& moment)
{
    const QFileInfo file(filePath.toLocalFile());
    // ISODate leaves out the milliseconds: whole seconds and "Z".
    QString name = file.completeBaseName() + u".bak." + moment.toUTC().toString(Qt::ISODate);
    if (!file.suffix().isEmpty())
        name += u'.' + file.suffix();
    return name;
}

QString SignatureWriter::singlePartHeader(const QString& header)
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

QString SignatureWriter::composeText(const QString& header, const QString& html)
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

std::expected<SaveResult, Error> SignatureWriter::save(
    const QUrl& filePath, const QString& header, const QString& html) const
{
    const QString path = filePath.toLocalFile();

    // Failures of these two are left to the steps after them to report.
    (void)m_attributes.clearImmutable(path);
    const QString folder = backupFolder(filePath);
    QDir().mkpath(folder);

    const QString backupPath = QDir(folder).filePath(backupFileName(filePath, m_now()));
    QByteArray old;
    if (const auto copied = copyIntoNewFile(path, backupPath, old); !copied) {
        const QString reason = QFileInfo(folder).isDir()
            ? copied.error()
            : QStringLiteral("the backup folder is missing and can't be created");
        return std::unexpected(Error { QStringLiteral("Could not back up %1 to %2: %3. Nothing was written.")
                                           .arg(quotedPath(path), quotedPath(backupPath), reason) });
    }
    syncFolder(folder);

    const QByteArray bytes = composeFile(header, html, old);
    QSaveFile out(path);
    const bool written = out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.flush();
    // On disk before the rename makes it the file, so that after a power cut the file holds
    // the old text or the new one, not an empty one. Uncommitted, the new text is dropped.
    const int syncError = written && ::fsync(out.handle()) != 0 ? errno : 0;
    if (!written || syncError != 0 || !out.commit()) {
        const QString reason = syncError != 0 ? qt_error_string(syncError) : out.errorString();
        return std::unexpected(Error {
            QStringLiteral("Could not write %1: %2. The file keeps its previous text; a backup is in %3.")
                .arg(quotedPath(path), reason, quotedPath(backupPath)) });
    }
    syncFolder(QFileInfo(path).absolutePath());

    const auto lock = m_attributes.setPermissionsAndImmutable(path, lockedPermissions);
    if (!lock) {
        return std::unexpected(
            Error { QStringLiteral("%1. The new text was written; the previous one is in %2.")
                        .arg(lock.error().description, quotedPath(backupPath)) });
    }
    return SaveResult { QUrl::fromLocalFile(backupPath), lock->locked, lock->reason };
}

QList<QUrl> SignatureWriter::backups(const QUrl& filePath) const
{
    const QString prefix = QFileInfo(filePath.toLocalFile()).completeBaseName() + u".bak.";
    const QDir folder(backupFolder(filePath));
    struct Entry {
        QString path;
        QDateTime created;
    };
    QList<Entry> entries;
    // Hidden entries are left out by not asking for them.
    const QFileInfoList listing
        = folder.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& entry : listing) {
        if (!entry.fileName().startsWith(prefix))
            continue;
        QDateTime created = entry.birthTime();
        // Where the file system keeps no birth time, the status change time stands in: a
        // backup is written once and not changed afterwards.
        if (!created.isValid())
            created = entry.metadataChangeTime();
        entries.append({ entry.absoluteFilePath(), created });
    }
    // Newest first; an unreadable date counts as the most distant past.
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (!b.created.isValid())
            return a.created.isValid();
        return a.created.isValid() && a.created > b.created;
    });
    QList<QUrl> result;
    result.reserve(entries.size());
    for (const Entry& entry : entries)
        result.append(QUrl::fromLocalFile(entry.path));
    return result;
}

QDateTime SignatureWriter::modificationDate(const QUrl& filePath) const
{
    const QDateTime modified = QFileInfo(filePath.toLocalFile()).lastModified();
    return modified.isValid() ? modified.toUTC() : m_now().toUTC();
}

} // namespace veltrin
