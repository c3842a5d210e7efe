#include "NoFollowFileOperations.h"

#include "platform/FileDescriptor.h"

#include <QTimeZone>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrin {

namespace {

constexpr int openFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
constexpr qint64 chunk = qint64(1) << 20;


Error systemError(int errorNumber)
{
    return Error { qt_error_string(errorNumber) };
}

QString kindOf(mode_t mode)
{
    if (S_ISLNK(mode))
        return QStringLiteral("a symbolic link");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("something else");
}

Error notRegular(mode_t mode)
{
    return Error { QStringLiteral("it is not a regular file but %1").arg(kindOf(mode)) };
}

Error tooLarge(qint64 maxSize)
{
    return Error { QStringLiteral("it is larger than %1 bytes, the most that is read").arg(maxSize) };
}

QDateTime fromTimespec(const timespec& time)
{
    if (time.tv_sec == 0 && time.tv_nsec == 0)
        return {};
    return QDateTime::fromMSecsSinceEpoch(qint64(time.tv_sec) * 1000 + time.tv_nsec / 1000000, QTimeZone::utc());
}

FileStatus fromStatx(const struct statx& status)
{
    FileStatus result;
    result.isRegularFile = S_ISREG(status.stx_mode);
    result.isSymbolicLink = S_ISLNK(status.stx_mode);
    result.size = qint64(status.stx_size);
    result.modified = fromTimespec({ time_t(status.stx_mtime.tv_sec), long(status.stx_mtime.tv_nsec) });
    const statx_timestamp& created = (status.stx_mask & STATX_BTIME) ? status.stx_btime : status.stx_ctime;
    result.created = fromTimespec({ time_t(created.tv_sec), long(created.tv_nsec) });
    return result;
}

constexpr unsigned statusMask = STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_CTIME | STATX_BTIME;

// Opens a regular file for reading. lstat first, so that a device is never opened at all;
// fstat afterwards, so that what was swapped in between is caught too.
std::expected<int, Error> openRegular(const QByteArray& path, qint64 maxSize, struct stat& status)
{
    if (::lstat(path.constData(), &status) != 0)
        return std::unexpected(systemError(errno));
    if (!S_ISREG(status.st_mode))
        return std::unexpected(notRegular(status.st_mode));
    const int fd = ::open(path.constData(), openFlags);
    if (fd < 0) {
        const int error = errno;
        // O_NOFOLLOW's answer to a link that took the file's place.
        if (error == ELOOP)
            return std::unexpected(notRegular(S_IFLNK));
        return std::unexpected(systemError(error));
    }
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const mode_t mode = status.st_mode;
        ::close(fd);
        return std::unexpected(notRegular(mode));
    }
    if (status.st_size > maxSize) {
        ::close(fd);
        return std::unexpected(tooLarge(maxSize));
    }
    // Reads wait for the disk again, as a regular file's reads always do.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// Reads to the end, and one byte past the limit so that a file grown since fstat shows.
std::expected<QByteArray, Error> readAll(int fd, qint64 sizeHint, qint64 maxSize)
{
    QByteArray bytes;
    bytes.reserve(qMin(sizeHint, maxSize) + 1);
    for (;;) {
        const qsizetype used = bytes.size();
        const qint64 room = qMin(chunk, maxSize + 1 - used);
        bytes.resize(used + room);
        const ssize_t count = ::read(fd, bytes.data() + used, size_t(room));
        if (count < 0 && errno == EINTR) {
            bytes.truncate(used);
            continue;
        }
        bytes.truncate(used + qMax<ssize_t>(count, 0));
        if (count < 0)
            return std::unexpected(systemError(errno));
        if (bytes.size() > maxSize)
            return std::unexpected(tooLarge(maxSize));
        if (count == 0)
            return bytes;
    }
}

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

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.first(slash);
}

// Makes a folder's new or renamed entries durable. Failure only costs durability after a
// crash, never the operation itself, so it is not reported.
void syncFolder(const QByteArray& folder)
{
    const FileDescriptor fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.isOpen())
        ::fsync(fd.get());
}

// A file made under a unique hidden name beside the target, removed again unless it was
// given the target's name.
class TemporaryFile final {
public:
    explicit TemporaryFile(const QByteArray& target)
        : m_path(folderOf(target) + "/." + target.mid(target.lastIndexOf('/') + 1) + ".XXXXXX")
        , m_fd(::mkostemp(m_path.data(), O_CLOEXEC))
        , m_error(m_fd.isOpen() ? 0 : errno)
    {
    }
    ~TemporaryFile()
    {
        if (m_fd.isOpen() && !m_named)
            ::unlink(m_path.constData());
    }
    Q_DISABLE_COPY_MOVE(TemporaryFile)

    int handle() const { return m_fd.get(); }
    int error() const { return m_error; }
    const char* path() const { return m_path.constData(); }
    void named() { m_named = true; }

private:
    QByteArray m_path;
    FileDescriptor m_fd;
    int m_error;
    bool m_named = false;
};

Error listingError(const QByteArray& folder, int errorNumber)
{
    const QString path = quotedPath(QString::fromUtf8(folder));
    switch (errorNumber) {
    case ENOENT:
        return Error { QStringLiteral("The folder %1 doesn't exist.").arg(path) };
    case ENOTDIR:
        return Error { QStringLiteral("%1 isn't a folder.").arg(path) };
    case EACCES:
    case EPERM:
        return Error { QStringLiteral("You don't have permission to view the folder %1.").arg(path) };
    default:
        return Error { QStringLiteral("The folder %1 couldn't be read: %2").arg(path, qt_error_string(errorNumber)) };
    }
}

Error takenError()
{
    return Error { QStringLiteral("a file with this name already exists") };
}

} // namespace

std::expected<QByteArray, Error> NoFollowFileOperations::readFile(const QUrl& file, qint64 maxSize) const
{
    struct stat status { };
    const auto fd = openRegular(nativePath(file), maxSize, status);
    if (!fd)
        return std::unexpected(fd.error());
    const FileDescriptor in(*fd);
    return readAll(in.get(), status.st_size, maxSize);
}

std::expected<QByteArray, Error> NoFollowFileOperations::copyToNewFile(
    const QUrl& source, const QUrl& target, qint64 maxSize)
{
    const auto unreadable
        = [](const Error& error) { return Error { QStringLiteral("the file can't be read (%1)").arg(error.description) }; };
    const auto unwritable = [](int errorNumber) {
        return Error { QStringLiteral("the copy can't be written (%1)").arg(qt_error_string(errorNumber)) };
    };
    struct stat status { };
    const auto fd = openRegular(nativePath(source), maxSize, status);
    if (!fd)
        return std::unexpected(unreadable(fd.error()));
    const FileDescriptor in(*fd);
    const QByteArray targetPath = nativePath(target);
    struct stat existing { };
    if (::lstat(targetPath.constData(), &existing) == 0)
        return std::unexpected(takenError());
    auto bytes = readAll(in.get(), status.st_size, maxSize);
    if (!bytes)
        return std::unexpected(unreadable(bytes.error()));
    // The copy is written whole under a hidden name, then linked to its own: a link never
    // replaces a file, and the target's name never holds part of a copy.
    TemporaryFile out(targetPath);
    if (out.handle() < 0)
        return std::unexpected(unwritable(out.error()));
    if (::fchmod(out.handle(), status.st_mode & 07777) != 0 || !writeAll(out.handle(), *bytes)
        || ::fsync(out.handle()) != 0)
        return std::unexpected(unwritable(errno));
    if (::link(out.path(), targetPath.constData()) != 0) {
        const int error = errno;
        if (error == EEXIST)
            return std::unexpected(takenError());
        // A file system without hard links: a rename after a check, which only another
        // program acting in between could defeat.
        if (error != EPERM && error != EOPNOTSUPP && error != ENOSYS)
            return std::unexpected(unwritable(error));
        if (::lstat(targetPath.constData(), &existing) == 0)
            return std::unexpected(takenError());
        if (::rename(out.path(), targetPath.constData()) != 0)
            return std::unexpected(unwritable(errno));
        out.named();
    }
    syncFolder(folderOf(targetPath));
    return bytes;
}

std::expected<void, Error> NoFollowFileOperations::replaceFile(const QUrl& file, const QByteArray& bytes)
{
    const QByteArray path = nativePath(file);
    struct stat status { };
    mode_t mode = 0600;
    if (::lstat(path.constData(), &status) == 0) {
        if (!S_ISREG(status.st_mode))
            return std::unexpected(notRegular(status.st_mode));
        mode = status.st_mode & 07777;
    } else if (errno != ENOENT) {
        return std::unexpected(systemError(errno));
    }
    // A rename needs only the folder to be writable: a read-only file is replaced all the same.
    TemporaryFile out(path);
    if (out.handle() < 0)
        return std::unexpected(systemError(out.error()));
    // On disk before the rename makes it the file, so that after a power cut the file holds
    // the old text or the new one, not an empty one.
    if (::fchmod(out.handle(), mode) != 0 || !writeAll(out.handle(), bytes) || ::fsync(out.handle()) != 0)
        return std::unexpected(systemError(errno));
    if (::rename(out.path(), path.constData()) != 0)
        return std::unexpected(systemError(errno));
    out.named();
    syncFolder(folderOf(path));
    return {};
}

std::expected<void, Error> NoFollowFileOperations::makeFolder(const QUrl& folder)
{
    const QByteArray path = trimmedNativePath(folder);
    for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.first(slash);
        if (::mkdir(part.constData(), 0777) != 0 && errno != EEXIST)
            return std::unexpected(systemError(errno));
        if (slash < 0)
            break;
    }
    struct stat status { };
    if (::lstat(path.constData(), &status) != 0)
        return std::unexpected(systemError(errno));
    if (!S_ISDIR(status.st_mode))
        return std::unexpected(Error { QStringLiteral("it is %1, not a folder").arg(
            S_ISREG(status.st_mode) ? QStringLiteral("a regular file") : kindOf(status.st_mode)) });
    return {};
}

std::expected<QList<FolderEntry>, Error> NoFollowFileOperations::listFolder(const QUrl& folder) const
{
    const QByteArray path = trimmedNativePath(folder);
    // The folder the user chose may be reached through a link; its entries never are.
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::unexpected(listingError(path, errno));
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return std::unexpected(listingError(path, error));
    }
    // A folder that can be listed but not entered would give files that can't be opened.
    if (::faccessat(fd, ".", X_OK, 0) != 0) {
        const int error = errno;
        ::closedir(dir);
        return std::unexpected(listingError(path, error));
    }
    const QByteArray prefix = path.endsWith('/') ? path : path + '/';
    QList<FolderEntry> entries;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry)
            break;
        const QByteArray name(entry->d_name);
        if (name.startsWith('.'))
            continue;
        struct statx status { };
        // An entry whose status can't be read is passed over.
        if (::statx(fd, entry->d_name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, statusMask, &status) != 0)
            continue;
        entries.append({ QString::fromUtf8(name), fileUrl(prefix + name), fromStatx(status) });
    }
    // A read that fails part-way must not pass for a shorter folder.
    const int readError = errno;
    ::closedir(dir);
    if (readError != 0)
        return std::unexpected(listingError(path, readError));
    return entries;
}

std::optional<FileStatus> NoFollowFileOperations::status(const QUrl& file) const
{
    struct statx status { };
    if (::statx(AT_FDCWD, nativePath(file).constData(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, statusMask,
            &status)
        != 0)
        return std::nullopt;
    return fromStatx(status);
}

} // namespace veltrin
