#pragma once

#include "platform/RunningApplications.h"

#include <QHash>

namespace veltrin::test {

class FakeRunningApplications final : public RunningApplications {
public:
    int runningCount(const QString& bundleIdentifier) const override
    {
        ++m_queries;
        return m_counts.value(bundleIdentifier);
    }
    void setRunning(const QString& bundleIdentifier, int count) { m_counts[bundleIdentifier] = count; }
    int queries() const { return m_queries; }

private:
    QHash<QString, int> m_counts;
    mutable int m_queries = 0;
};

} // namespace veltrin::test
