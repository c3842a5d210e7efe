#pragma once

#include <QString>

namespace veltrin {

// Which applications are running, by bundle identifier.
class RunningApplications {
public:
    virtual ~RunningApplications() = default;
    virtual int runningCount(const QString& bundleIdentifier) const = 0;
};

} // namespace veltrin
