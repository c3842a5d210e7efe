#pragma once

#include "EventTracker.h"

#include <QString>

#include <memory>

namespace veltrin {

class ErrorReportingOptions;
class ErrorReportingSdk;

// Starts the error-reporting client and adds every usage event to it as a breadcrumb, so that
// the events of this process go with any later error report.
class SentryTracker final : public EventTracker {
public:
    // An empty dsn leaves the client unstarted.
    SentryTracker(std::shared_ptr<ErrorReportingSdk> sdk, const QString& dsn);
    Q_DISABLE_COPY_MOVE(SentryTracker)

    void start() override;
    void track(const TrackingEvent& event) override;

    static void configure(ErrorReportingOptions& options, const QString& dsn);

private:
    std::shared_ptr<ErrorReportingSdk> m_sdk;
    QString m_dsn;
};

} // namespace veltrin
