#include "FileOperations.h"

namespace veltrin {

QByteArray FileOperations::nativePath(const QUrl& file)
{
    return QByteArray::fromPercentEncoding(file.path(QUrl::FullyEncoded).toLatin1());
}

QByteArray FileOperations::trimmedNativePath(const QUrl& file)
{
    QByteArray path = nativePath(file);
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

QUrl FileOperations::fileUrl(const QByteArray& nativePath)
{
    // Text paths as everywhere else; other bytes encoded, so that they stay bytes.
    if (nativePath.isValidUtf8())
        return QUrl::fromLocalFile(QString::fromUtf8(nativePath));
    return QUrl::fromEncoded("file://" + nativePath.toPercentEncoding("/!$&'()*+,;=:@"));
}

QUrl FileOperations::child(const QUrl& folder, const QByteArray& name)
{
    QByteArray path = trimmedNativePath(folder);
    if (!path.endsWith('/'))
        path += '/';
    return fileUrl(path + name);
}

QByteArray FileOperations::nativeFileName(const QUrl& file)
{
    const QByteArray path = trimmedNativePath(file);
    return path.mid(path.lastIndexOf('/') + 1);
}

QString FileOperations::displayPath(const QUrl& file)
{
    return QString::fromUtf8(nativePath(file));
}

} // namespace veltrin
