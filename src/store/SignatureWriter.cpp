#include "SignatureWriter.h"

#include "SignatureReader.h"
#include "SignatureRewriter.h"
#include "platform/FileAttributes.h"
#include "platform/FileOperations.h"

#include <algorithm>

namespace veltrin {

namespace {

constexpr int lockedPermissions = 0600;

// The file name's bytes before and after its last ".".
std::pair<QByteArray, QByteArray> baseAndSuffix(const QUrl& filePath)
{
    const QByteArray name = FileOperations::nativeFileName(filePath);
    const qsizetype dot = name.lastIndexOf('.');
    if (dot < 0)
        return { name, {} };
    return { name.first(dot), name.sliced(dot + 1) };
}

QString quoted(const QUrl& file)
{
    return quotedPath(FileOperations::displayPath(file));
}

} // namespace

SignatureWriter::SignatureWriter(FileOperations& files, FileAttributes& attributes, Clock now)
    : m_files(files)
    , m_attributes(attributes)
    , m_now(std::move(now))
{
}

QUrl SignatureWriter::backupFolderUrl(const QUrl& filePath)
{
    QByteArray path = FileOperations::nativePath(filePath);
    path.truncate(path.lastIndexOf('/') + 1);
    return FileOperations::fileUrl(path + "VeltrinBackup");
}

QString SignatureWriter::backupFolder(const QUrl& filePath)
{
    return FileOperations::displayPath(backupFolderUrl(filePath));
}

QUrl SignatureWriter::backupFileUrl(const QUrl& filePath, const QDateTime& moment)
{
    const auto [base, suffix] = baseAndSuffix(filePath);
    // ISODate leaves out the milliseconds: whole seconds and "Z".
    QByteArray name = base + ".bak." + moment.toUTC().toString(Qt::ISODate).toLatin1();
    if (!suffix.isEmpty())
        name += '.' + suffix;
    return FileOperations::child(backupFolderUrl(filePath), name);
}

QString SignatureWriter::backupFileName(const QUrl& filePath, const QDateTime& moment)
{
    return QString::fromUtf8(FileOperations::nativeFileName(backupFileUrl(filePath, moment)));
}

std::expected<SaveResult, Error> SignatureWriter::save(
    const QUrl& filePath, const QString& header, const QString& html) const
{
    // Failures of these two are left to the steps after them to report.
    (void)m_attributes.clearImmutable(filePath);
    const QUrl folder = backupFolderUrl(filePath);
    const auto folderMade = m_files.makeFolder(folder);

    const QUrl backup = backupFileUrl(filePath, m_now());
    const auto notBackedUp = [&](const QString& reason) {
        return std::unexpected(Error { QStringLiteral("Could not back up %1 to %2: %3. Nothing was written.")
                                           .arg(quoted(filePath), quoted(backup), reason) });
    };
    // Without a folder of its own (a link in its place leads elsewhere) the copy is not made.
    if (!folderMade)
        return notBackedUp(
            QStringLiteral("the backup folder can't be created (%1)").arg(folderMade.error().description));
    const auto old = m_files.copyToNewFile(filePath, backup, SignatureReader::maxFileSize);
    if (!old)
        return notBackedUp(old.error().description);

    const QByteArray bytes = SignatureRewriter::composeFile(header, html, *old);
    if (const auto written = m_files.replaceFile(filePath, bytes); !written) {
        // A lock that stayed on is what stopped the write, whatever the rename said.
        const auto immutable = m_attributes.isImmutable(filePath);
        const QString reason = immutable && *immutable
            ? QStringLiteral("the file is locked (immutable), and Veltrin can't unlock it without the "
                             "CAP_LINUX_IMMUTABLE privilege")
            : written.error().description;
        return std::unexpected(Error {
            QStringLiteral("Could not write %1: %2. The file keeps its previous text; a backup is in %3.")
                .arg(quoted(filePath), reason, quoted(backup)) });
    }

    const auto lock = m_attributes.setPermissionsAndImmutable(filePath, lockedPermissions);
    if (!lock) {
        return std::unexpected(Error { QStringLiteral("%1. The new text was written; the previous one is in %2.")
                                           .arg(lock.error().description, quoted(backup)) });
    }
    return SaveResult { backup, lock->locked, lock->reason };
}

QList<QUrl> SignatureWriter::backups(const QUrl& filePath) const
{
    const QByteArray prefix = baseAndSuffix(filePath).first + ".bak.";
    const auto listing = m_files.listFolder(backupFolderUrl(filePath));
    if (!listing)
        return {};
    struct Entry {
        QUrl url;
        QDateTime created;
    };
    QList<Entry> entries;
    for (const FolderEntry& entry : *listing) {
        // A link's own time says nothing of a backup: it counts as unknown.
        if (FileOperations::nativeFileName(entry.url).startsWith(prefix))
            entries.append({ entry.url, entry.status.isSymbolicLink ? QDateTime() : entry.status.created });
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
        result.append(entry.url);
    return result;
}

QDateTime SignatureWriter::modificationDate(const QUrl& filePath) const
{
    const std::optional<FileStatus> status = m_files.status(filePath);
    return status && status->modified.isValid() ? status->modified : m_now().toUTC();
}

} // namespace veltrin
