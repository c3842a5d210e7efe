#pragma once

#include "SignatureFile.h"

#include <QtGlobal>

#include <functional>

namespace veltrin {

class FileAttributes;

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

    explicit SignatureWriter(FileAttributes& attributes, Clock now = &QDateTime::currentDateTimeUtc);
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
    static QString backupFolder(const QUrl& filePath);
    // Base name, ".bak.", the UTC time stamp with whole seconds, "." and the extension.
    static QString backupFileName(const QUrl& filePath, const QDateTime& moment);
    // The file's text: header, a blank line and the HTML ending in a line feed, with
    // header and body brought into agreement so that reading the text again gives the HTML.
    static QString composeText(const QString& header, const QString& html);
    // The bytes to write when the file held `old` before: the same shape, parts, encodings,
    // character set and line ends, with only the HTML replaced (a text the reader shows
    // unchanged gives `old` back). Without a usable old text, composeText().
    static QByteArray composeFile(const QString& header, const QString& html, const QByteArray& old);
    // A multipart header block turned into one that declares the single-part UTF-8 HTML
    // body: every header that describes the body is replaced, all others stay as written.
    static QString singlePartHeader(const QString& header);

private:
    FileAttributes& m_attributes;
    Clock m_now;
};

} // namespace veltrin
