#pragma once

#include "platform/FileAttributes.h"

#include <QtGlobal>

namespace veltrin {

// The inode's immutable attribute (FS_IOC_GETFLAGS / FS_IOC_SETFLAGS). Setting or clearing
// it needs CAP_LINUX_IMMUTABLE; without it, or on a file system without the attribute,
// files are saved with their permissions but stay unlocked.
class InodeFileAttributes final : public FileAttributes {
public:
    InodeFileAttributes() = default;
    Q_DISABLE_COPY_MOVE(InodeFileAttributes)

    using FileAttributes::clearImmutable;
    using FileAttributes::isImmutable;
    using FileAttributes::setPermissionsAndImmutable;
    std::expected<void, Error> clearImmutable(const QUrl& file) override;
    std::expected<LockResult, Error> setPermissionsAndImmutable(const QUrl& file, int posixPermissions) override;
    std::expected<bool, Error> isImmutable(const QUrl& file) const override;

    // True for the errors that mean "no privilege" or "no such attribute here" rather
    // than a real failure.
    static bool isRefusal(int errorNumber);
};

} // namespace veltrin
