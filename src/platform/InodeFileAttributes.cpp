#include "InodeFileAttributes.h"

#include "platform/FileDescriptor.h"
#include "platform/FileOperations.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrin {

namespace {

// The file whose attributes change, open for as long as they do.
class Descriptor final {
public:
    // Non-blocking so that a FIFO in the way doesn't hang the open; never through a link, and
    // only a regular file or a folder, so that nothing a link points at is changed.
    explicit Descriptor(const QUrl& file)
        : m_fd(::open(FileOperations::nativePath(file).constData(),
              O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW))
    {
        if (!m_fd.isOpen()) {
            m_error = errno;
            return;
        }
        struct stat status { };
        if (::fstat(m_fd.get(), &status) != 0 || (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))) {
            m_fd.reset();
            m_error = ELOOP;
        }
    }

    int get() const { return m_fd.get(); }
    bool isOpen() const { return m_fd.isOpen(); }
    int error() const { return m_error; }

private:
    FileDescriptor m_fd;
    int m_error = 0;
};

QString systemReason(int errorNumber)
{
    return qt_error_string(errorNumber);
}

Error failure(const QString& what, const QUrl& file, int errorNumber)
{
    const QString reason = errorNumber == ELOOP ? QStringLiteral("it is not a regular file or a folder") : systemReason(errorNumber);
    return Error {
        QStringLiteral("Could not %1 %2: %3").arg(what, quotedPath(FileOperations::displayPath(file)), reason)
    };
}

QString refusalReason(int errorNumber)
{
    if (errorNumber == EPERM)
        return QStringLiteral("the immutable attribute needs the CAP_LINUX_IMMUTABLE capability (%1)")
            .arg(systemReason(errorNumber));
    return QStringLiteral("the file system has no immutable attribute (%1)").arg(systemReason(errorNumber));
}

// The kernel reads and writes an int, whatever the ioctl's declared argument type says.
int readFlags(int fd, int& flags)
{
    flags = 0;
    return ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 ? 0 : errno;
}

int writeFlags(int fd, int flags)
{
    return ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0 ? 0 : errno;
}

} // namespace

bool InodeFileAttributes::isRefusal(int errorNumber)
{
    switch (errorNumber) {
    case EPERM:
    case ENOTTY:
    case EOPNOTSUPP:
    case ENOSYS:
    case EINVAL:
        return true;
    default:
        return false;
    }
}

std::expected<void, Error> InodeFileAttributes::clearImmutable(const QUrl& path)
{
    const Descriptor file(path);
    if (!file.isOpen())
        return std::unexpected(failure(QStringLiteral("open"), path, file.error()));
    int flags = 0;
    if (const int error = readFlags(file.get(), flags)) {
        // No attribute here means nothing to clear.
        if (error == ENOTTY || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL)
            return {};
        return std::unexpected(failure(QStringLiteral("read the attributes of"), path, error));
    }
    if (!(flags & FS_IMMUTABLE_FL))
        return {};
    if (const int error = writeFlags(file.get(), flags & ~FS_IMMUTABLE_FL))
        return std::unexpected(failure(QStringLiteral("unlock"), path, error));
    return {};
}

std::expected<LockResult, Error> InodeFileAttributes::setPermissionsAndImmutable(const QUrl& path, int posixPermissions)
{
    const Descriptor file(path);
    if (!file.isOpen())
        return std::unexpected(failure(QStringLiteral("open"), path, file.error()));

    int flags = 0;
    const int readError = readFlags(file.get(), flags);
    if (readError && !isRefusal(readError))
        return std::unexpected(failure(QStringLiteral("read the attributes of"), path, readError));
    // A locked file refuses chmod: unlock it for the change.
    if (!readError && (flags & FS_IMMUTABLE_FL)) {
        flags &= ~FS_IMMUTABLE_FL;
        if (const int error = writeFlags(file.get(), flags))
            return std::unexpected(failure(QStringLiteral("unlock"), path, error));
    }

    if (::fchmod(file.get(), static_cast<mode_t>(posixPermissions)) != 0)
        return std::unexpected(failure(QStringLiteral("set the permissions of"), path, errno));

    if (readError)
        return LockResult { false, refusalReason(readError) };
    if (const int error = writeFlags(file.get(), flags | FS_IMMUTABLE_FL)) {
        if (isRefusal(error))
            return LockResult { false, refusalReason(error) };
        return std::unexpected(failure(QStringLiteral("lock"), path, error));
    }
    return LockResult { true, {} };
}

std::expected<bool, Error> InodeFileAttributes::isImmutable(const QUrl& path) const
{
    const Descriptor file(path);
    if (!file.isOpen())
        return std::unexpected(failure(QStringLiteral("open"), path, file.error()));
    int flags = 0;
    if (const int error = readFlags(file.get(), flags)) {
        if (isRefusal(error) && error != EPERM)
            return false;
        return std::unexpected(failure(QStringLiteral("read the attributes of"), path, error));
    }
    return (flags & FS_IMMUTABLE_FL) != 0;
}

} // namespace veltrin
