#include "FileLocks.h"

#include "platform/InodeFileAttributes.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

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

bool setImmutableCapability(bool effective)
{
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct data[2] {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    const unsigned bit = 1u << (CAP_LINUX_IMMUTABLE % 32);
    auto& word = data[CAP_LINUX_IMMUTABLE / 32].effective;
    word = effective ? (word | bit) : (word & ~bit);
    return ::syscall(SYS_capset, &header, data) == 0;
}

} // namespace veltrin::test
