#include "BookmarkFolderAccess.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>

namespace veltrin {

using namespace Qt::StringLiterals;

namespace {

// "VBKM": lets a record from anywhere else fail with a clear message.
constexpr char kMagic[4] = {'V', 'B', 'K', 'M'};
constexpr qsizetype kHeaderSize = 4 + 1 + 8 + 8 + 4;
// Far beyond any real path; keeps a corrupt length from asking for gigabytes.
constexpr quint32 kMaxPathBytes = 64 * 1024;

struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
};

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The path of a local file URL, absolute and clean; empty when the URL names no local file.
QString absolutePathOf(const QUrl& url)
{
    if (!url.isLocalFile())
        return {};
    const QString path = url.toLocalFile();
    if (path.isEmpty())
        return {};
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

std::expected<FileIdentity, Error> identityOf(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return std::unexpected(Error{u"The folder "_s + quotedPath(path) + u" doesn't exist."_s});
        return std::unexpected(Error{u"The folder "_s + quotedPath(path) + u" can't be examined: "_s
                                     + systemErrorText(error) + u'.'});
    }
    return FileIdentity{quint64(info.st_dev), quint64(info.st_ino)};
}

} // namespace

QByteArray BookmarkFolderAccess::encodeRecord(const QString& absolutePath, quint64 device, quint64 inode,
                                              quint8 version)
{
    const QByteArray path = absolutePath.toUtf8();
    QByteArray record(kHeaderSize, Qt::Uninitialized);
    char* out = record.data();
    std::memcpy(out, kMagic, 4);
    out[4] = char(version);
    qToBigEndian<quint64>(device, out + 5);
    qToBigEndian<quint64>(inode, out + 13);
    qToBigEndian<quint32>(quint32(path.size()), out + 21);
    return record + path;
}

std::expected<QByteArray, Error> BookmarkFolderAccess::bookmarkData(const QUrl& folder)
{
    const QString path = absolutePathOf(folder);
    if (path.isEmpty())
        return std::unexpected(Error{quotedPath(folder.toDisplayString()) + u" isn't a folder on this computer."_s});
    const auto identity = identityOf(path);
    if (!identity)
        return std::unexpected(identity.error());
    return encodeRecord(path, identity->device, identity->inode);
}

std::expected<ResolvedBookmark, Error> BookmarkFolderAccess::resolveBookmark(const QByteArray& data)
{
    const Error malformed{u"The bookmark data isn't in the correct format."_s};
    if (data.size() < qsizetype(sizeof kMagic) || std::memcmp(data.constData(), kMagic, sizeof kMagic) != 0)
        return std::unexpected(malformed);
    if (data.size() < kHeaderSize)
        return std::unexpected(Error{u"The bookmark data is incomplete."_s});
    const quint8 version = quint8(data.at(4));
    if (version > formatVersion)
        return std::unexpected(Error{u"The bookmark data was made by a newer version of Veltrin (format %1)."_s.arg(version)});
    if (version != formatVersion)
        return std::unexpected(malformed);

    const char* bytes = data.constData();
    const auto device = qFromBigEndian<quint64>(bytes + 5);
    const auto inode = qFromBigEndian<quint64>(bytes + 13);
    const auto pathSize = qFromBigEndian<quint32>(bytes + 21);
    if (pathSize > kMaxPathBytes)
        return std::unexpected(malformed);
    if (data.size() < kHeaderSize + qsizetype(pathSize))
        return std::unexpected(Error{u"The bookmark data is incomplete."_s});
    if (data.size() > kHeaderSize + qsizetype(pathSize))
        return std::unexpected(malformed);

    const QByteArray pathBytes = data.mid(kHeaderSize);
    const QString path = QString::fromUtf8(pathBytes);
    // A path that does not survive the round trip through UTF-8 was not written by us.
    if (path.isEmpty() || path.toUtf8() != pathBytes || !QDir::isAbsolutePath(path) || QDir::cleanPath(path) != path)
        return std::unexpected(malformed);

    const auto identity = identityOf(path);
    if (!identity)
        return std::unexpected(identity.error());
    const bool isStale = identity->device != device || identity->inode != inode;
    return ResolvedBookmark{QUrl::fromLocalFile(path), isStale};
}

bool BookmarkFolderAccess::startAccessing(const QUrl& folder)
{
    const QString path = absolutePathOf(folder);
    if (path.isEmpty())
        return false;
    DIR* dir = ::opendir(QFile::encodeName(path).constData());
    if (!dir)
        return false;
    ::closedir(dir);
    ++m_accessCounts[path];
    return true;
}

void BookmarkFolderAccess::stopAccessing(const QUrl& folder)
{
    const QString path = absolutePathOf(folder);
    const auto it = m_accessCounts.find(path);
    if (it == m_accessCounts.end())
        return;
    if (--it.value() <= 0)
        m_accessCounts.erase(it);
}

int BookmarkFolderAccess::accessCount(const QUrl& folder) const
{
    return m_accessCounts.value(absolutePathOf(folder));
}

} // namespace veltrin
