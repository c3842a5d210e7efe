#include "FileLocks.h"

#include "platform/InodeFileAttributes.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

namespace veltrin::test {

void unlockTree(const QString& folder)
{
    InodeFileAttributes attributes;
    (void)attributes.clearImmutable(folder);
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (it.hasNext())
        (void)attributes.clearImmutable(it.next());
}

bool canLockFilesIn(const QString& folder)
{
    InodeFileAttributes attributes;
    const QString probe = QDir(folder).filePath(QStringLiteral(".lock-probe"));
    QFile file(probe);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.close();
    const auto locked = attributes.setPermissionsAndImmutable(probe, 0600);
    const bool immutable = locked && locked->locked && attributes.isImmutable(probe).value_or(false);
    (void)attributes.clearImmutable(probe);
    QFile::remove(probe);
    return immutable;
}

} // namespace veltrin::test
