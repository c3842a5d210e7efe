#pragma once

#include "RunningApplications.h"

#include <QString>

namespace veltrin {

// Running applications as the kernel lists them under /proc: an application counts once for
// every process whose command name is the application's process name.
class ProcRunningApplications final : public RunningApplications {
public:
    explicit ProcRunningApplications(const QString& procRoot = QStringLiteral("/proc"));
    Q_DISABLE_COPY_MOVE(ProcRunningApplications)

    int runningCount(const QString& bundleIdentifier) const override;

    // The process name an application runs under ("Mail" for "com.apple.mail"); empty when
    // the identifier is not known.
    static QString processName(const QString& bundleIdentifier);

private:
    QByteArray m_procRoot;
};

} // namespace veltrin
