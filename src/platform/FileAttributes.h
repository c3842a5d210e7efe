#pragma once

#include "platform/Error.h"

#include <QString>

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
    virtual std::expected<void, Error> clearImmutable(const QString& path) = 0;
    // One change: the POSIX permissions first (the flag would forbid them), then the flag.
    // Fails only when the permissions can't be set or the flag fails for another reason
    // than privilege or support.
    virtual std::expected<LockResult, Error> setPermissionsAndImmutable(
        const QString& path, int posixPermissions)
        = 0;
    virtual std::expected<bool, Error> isImmutable(const QString& path) const = 0;

protected:
    FileAttributes() = default;
    FileAttributes(const FileAttributes&) = default;
    FileAttributes& operator=(const FileAttributes&) = default;
};

} // namespace veltrin
