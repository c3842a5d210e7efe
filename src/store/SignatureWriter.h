#pragma once

#include "SignatureFile.h"

#include <QtGlobal>

#include <functional>

namespace veltrin {

class FileAttributes;
class FileOperations;

// What a successful save left behind.
struct SaveResult {
    QUrl backupFile;
    // False when the system refused the immutable flag (no privilege, or a file system
    // without it): the file then has permissions 0600 but is not locked.
    bool locked = false;
    QString notLockedReason;
};

// Writes edited signatures back behind a backup copy, and lists those copies.
class SignatureWriter final {
public:
    using Clock = std::function<QDateTime()>;

    // The services must outlive the writer.
    SignatureWriter(FileOperations& files, FileAttributes& attributes, Clock now = &QDateTime::currentDateTimeUtc);
    Q_DISABLE_COPY_MOVE(SignatureWriter)

    // Unlock, copy the file as it is into the backup folder, write header and HTML
    // atomically, then set 0600 and the lock. A failed copy writes nothing; a failed write
    // leaves the old content (unlocked) and the backup; a failed final step leaves the new
    // content and the backup.
    std::expected<SaveResult, Error> save(
        const QUrl& filePath, const QString& header, const QString& html) const;
    // Backups of this signature, newest first by creation (birth) time, where the file
    // system keeps none by the last status change; entries without a readable time come
    // last. Empty when the folder can't be listed.
    QList<QUrl> backups(const QUrl& filePath) const;
    // The file's content modification time, or the current time when that can't be read.
    QDateTime modificationDate(const QUrl& filePath) const;

    // The folder that holds the backups of every signature beside the file.
    static QUrl backupFolderUrl(const QUrl& filePath);
    static QString backupFolder(const QUrl& filePath);
    // Base name, ".bak.", the UTC time stamp with whole seconds, "." and the extension; the
    // name's bytes are the file's own.
    static QUrl backupFileUrl(const QUrl& filePath, const QDateTime& moment);
    static QString backupFileName(const QUrl& filePath, const QDateTime& moment);

private:
    FileOperations& m_files;
    FileAttributes& m_attributes;
    Clock m_now;
};

} // namespace veltrin
