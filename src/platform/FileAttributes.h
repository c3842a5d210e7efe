#pragma once

#include "platform/Error.h"

#include <QString>
#include <QUrl>

#include <expected>

namespace veltrin {

// What became of the lock when permissions and the immutable flag were set.
struct LockResult {
    // False when the system refused the flag for lack of privilege or support; the
    // permissions are set all the same.
    bool locked = false;
    // Why the flag is not set, for the user; empty when locked.
    QString reason;
};

// Permissions and the user-immutable flag of a file (the flag forbids writing, renaming
// and removing the file while it is set).
class FileAttributes {
public:
    virtual ~FileAttributes() = default;

    // Clearing a flag that is not set, or that the file system doesn't have, succeeds.
    // The URL's encoded path carries the name's bytes as they are (see FileOperations).
    virtual std::expected<void, Error> clearImmutable(const QUrl& file) = 0;
    // One change: the POSIX permissions first (the flag would forbid them), then the flag.
    // Fails only when the permissions can't be set or the flag fails for another reason
    // than privilege or support.
    virtual std::expected<LockResult, Error> setPermissionsAndImmutable(const QUrl& file, int posixPermissions)
        = 0;
    virtual std::expected<bool, Error> isImmutable(const QUrl& file) const = 0;

    // The same for a path that is valid text.
    std::expected<void, Error> clearImmutable(const QString& path) { return clearImmutable(QUrl::fromLocalFile(path)); }
    std::expected<LockResult, Error> setPermissionsAndImmutable(const QString& path, int posixPermissions)
    {
        return setPermissionsAndImmutable(QUrl::fromLocalFile(path), posixPermissions);
    }
    std::expected<bool, Error> isImmutable(const QString& path) const { return isImmutable(QUrl::fromLocalFile(path)); }

protected:
    FileAttributes() = default;
    FileAttributes(const FileAttributes&) = default;
    FileAttributes& operator=(const FileAttributes&) = default;
};

} // namespace veltrin
