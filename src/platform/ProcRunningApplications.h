#pragma once

#include "RunningApplications.h"

#include <QString>

#include <sys/types.h>
#include <unistd.h>

namespace veltrin {

// Running applications as the kernel lists them under /proc: an application counts once for
// every live process of the user whose command name is the application's process name.
class ProcRunningApplications final : public RunningApplications {
public:
    explicit ProcRunningApplications(
        const QString& procRoot = QStringLiteral("/proc"), uid_t userId = ::getuid());
    Q_DISABLE_COPY_MOVE(ProcRunningApplications)

    int runningCount(const QString& bundleIdentifier) const override;

    // The process name an application runs under ("Mail" for "com.apple.mail"); empty when
    // the identifier is not known.
    static QString processName(const QString& bundleIdentifier);

private:
    QByteArray m_procRoot;
    uid_t m_userId;
};

} // namespace veltrin
