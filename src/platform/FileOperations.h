#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <expected>
#include <optional>

namespace veltrin {

// What the file system says of one entry, read without following a link.
struct FileStatus {
    bool isRegularFile = false;
    bool isSymbolicLink = false;
    qint64 size = 0;
    QDateTime modified;
    // Birth time where the file system keeps one, else the last status change.
    QDateTime created;
};

struct FolderEntry {
    // For showing; it may have lost bytes that are not UTF-8. `url` has them all.
    QString name;
    QUrl url;
    FileStatus status;
};

// The one way store and telemetry reach files. Paths are local file URLs whose encoded form
// carries the name's bytes as they are, so a name that is not UTF-8 still names its own file.
// No file is read, copied or replaced through a link, nothing blocks on a FIFO or device, and
// nothing reads past a size limit.
class FileOperations {
public:
    virtual ~FileOperations() = default;

    // The whole content of a regular file of at most maxSize bytes.
    virtual std::expected<QByteArray, Error> readFile(const QUrl& file, qint64 maxSize) const = 0;
    // Copies a regular file of at most maxSize bytes into a file that must not exist yet,
    // with the source's permissions. The target's name holds the whole copy or nothing,
    // even after a crash. Gives the bytes copied.
    virtual std::expected<QByteArray, Error> copyToNewFile(
        const QUrl& source, const QUrl& target, qint64 maxSize)
        = 0;
    // Replaces the file's content: a temporary file in the same folder, synced, renamed over
    // it, then the folder synced. A link or anything else that is not a regular file at the
    // path is refused, never written through. The new file keeps the old one's permissions.
    virtual std::expected<void, Error> replaceFile(const QUrl& file, const QByteArray& bytes) = 0;
    // Creates the folder and any missing parents; an existing folder is no failure.
    virtual std::expected<void, Error> makeFolder(const QUrl& folder) = 0;
    // The folder's direct entries except hidden ones (names beginning with "."), in the
    // order the file system gives them, each entry's status read without following it; an
    // error when it can't be listed whole.
    virtual std::expected<QList<FolderEntry>, Error> listFolder(const QUrl& folder) const = 0;
    virtual std::optional<FileStatus> status(const QUrl& file) const = 0;

    // The path as the file system spells it, bytes as the URL carries them.
    static QByteArray nativePath(const QUrl& file);
    // The same without trailing slashes (the root stays "/").
    static QByteArray trimmedNativePath(const QUrl& file);
    static QUrl fileUrl(const QByteArray& nativePath);
    // The entry `name` (encoded bytes as in nativePath) inside `folder`.
    static QUrl child(const QUrl& folder, const QByteArray& name);
    // The last component's bytes.
    static QByteArray nativeFileName(const QUrl& file);
    // A name for messages; bytes that are not UTF-8 show as replacement characters.
    static QString displayPath(const QUrl& file);

protected:
    FileOperations() = default;
    FileOperations(const FileOperations&) = default;
    FileOperations& operator=(const FileOperations&) = default;
};

} // namespace veltrin
