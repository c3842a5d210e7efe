#include "ProcRunningApplications.h"

#include <QFile>
#include <QHash>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace veltrin {

ProcRunningApplications::ProcRunningApplications(const QString& procRoot, uid_t userId)
    : m_procRoot(QFile::encodeName(procRoot))
    , m_userId(userId)
{
}

QString ProcRunningApplications::processName(const QString& bundleIdentifier)
{
    static const QHash<QString, QString> names{
        {QStringLiteral("com.apple.mail"), QStringLiteral("Mail")},
    };
    return names.value(bundleIdentifier);
}

namespace {

// The value of one "Key:\tvalue" line of a /proc/<pid>/status text.
QByteArrayView statusField(QByteArrayView status, QByteArrayView key)
{
    qsizetype at = 0;
    while (at < status.size()) {
        qsizetype end = status.indexOf('\n', at);
        if (end < 0)
            end = status.size();
        const QByteArrayView line = status.sliced(at, end - at);
        if (line.startsWith(key) && line.size() > key.size() && line[key.size()] == ':') {
            QByteArrayView value = line.sliced(key.size() + 1);
            while (!value.isEmpty() && (value.front() == '\t' || value.front() == ' '))
                value = value.sliced(1);
            return value;
        }
        at = end + 1;
    }
    return {};
}

} // namespace

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
    const QByteArray user = QByteArray::number(m_userId);
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (*name < '1' || *name > '9' || std::strspn(name, "0123456789") != std::strlen(name))
            continue;
        char path[300];
        std::snprintf(path, sizeof path, "%s/status", name);
        const int fd = ::openat(dirFd, path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue; // the process ended meanwhile
        char buffer[4096];
        const ssize_t length = ::read(fd, buffer, sizeof buffer);
        ::close(fd);
        if (length <= 0)
            continue;
        const QByteArrayView status(buffer, length);
        if (statusField(status, "Name") != wanted)
            continue;
        // Like the desktop's list of running applications: live processes of this user only.
        const QByteArrayView state = statusField(status, "State");
        if (state.isEmpty() || state.front() == 'Z' || state.front() == 'X')
            continue;
        QByteArrayView uids = statusField(status, "Uid");
        const qsizetype realEnd = uids.indexOf('\t');
        if (realEnd >= 0)
            uids = uids.first(realEnd);
        if (uids == user)
            ++count;
    }
    ::closedir(dir);
    return count;
}

} // namespace veltrin
