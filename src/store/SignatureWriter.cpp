#include "SignatureWriter.h"

#include "MimeReader.h"
#include "QuotedPrintableEncoder.h"
#include "platform/FileAttributes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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

bool writeAll(int fd, const QByteArray& bytes)
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
std::expected<void, QString> copyIntoNewFile(const QString& source, const QString& target)
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
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(copyChunk);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
            return std::unexpected(
                QStringLiteral("the signature file can't be read (%1)").arg(in.errorString()));
        if (!writeAll(out.handle(), chunk))
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

} // namespace

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
    if (const auto copied = copyIntoNewFile(path, backupPath); !copied) {
        const QString reason = QFileInfo(folder).isDir()
            ? copied.error()
            : QStringLiteral("the backup folder is missing and can't be created");
        return std::unexpected(Error { QStringLiteral("Could not back up %1 to %2: %3. Nothing was written.")
                                           .arg(quotedPath(path), quotedPath(backupPath), reason) });
    }
    syncFolder(folder);

    const QByteArray bytes = composeText(header, html).toUtf8();
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
