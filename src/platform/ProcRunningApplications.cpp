#include "ProcRunningApplications.h"

#include <QFile>
#include <QHash>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace veltrin {

ProcRunningApplications::ProcRunningApplications(const QString& procRoot)
    : m_procRoot(QFile::encodeName(procRoot))
{
}

QString ProcRunningApplications::processName(const QString& bundleIdentifier)
{
    static const QHash<QString, QString> names{
        {QStringLiteral("com.apple.mail"), QStringLiteral("Mail")},
    };
    return names.value(bundleIdentifier);
}

int ProcRunningApplications::runningCount(const QString& bundleIdentifier) const
{
    const QByteArray wanted = processName(bundleIdentifier).toUtf8();
    if (wanted.isEmpty())
        return 0;
    // Asked at every keystroke of the editor: plain system calls, no Qt file objects.
    DIR* dir = ::opendir(m_procRoot.constData());
    if (!dir)
        return 0;
    const int dirFd = ::dirfd(dir);
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (*name < '1' || *name > '9' || std::strspn(name, "0123456789") != std::strlen(name))
            continue;
        char path[300];
        std::snprintf(path, sizeof path, "%s/comm", name);
        const int fd = ::openat(dirFd, path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue; // the process ended meanwhile
        char comm[64];
        const ssize_t length = ::read(fd, comm, sizeof comm);
        ::close(fd);
        if (length <= 0)
            continue;
        qsizetype end = length;
        if (comm[end - 1] == '\n')
            --end;
        if (QByteArrayView(comm, end) == wanted)
            ++count;
    }
    ::closedir(dir);
    return count;
}

} // namespace veltrin
