#include "SentryTracker.h"

#include "platform/ErrorReportingSdk.h"

namespace veltrin {

SentryTracker::SentryTracker(std::shared_ptr<ErrorReportingSdk> sdk, const QString& dsn)
    : m_sdk(std::move(sdk))
    , m_dsn(dsn)
{
}

void SentryTracker::start()
{
    if (m_dsn.isEmpty() || !m_sdk)
        return;
    const QString dsn = m_dsn;
    m_sdk->start([dsn](ErrorReportingOptions& options) { configure(options, dsn); });
}

void SentryTracker::configure(ErrorReportingOptions& options, const QString& dsn)
{
    options.setDsn(dsn);
    options.setTracesSampleRate(1.0);
    options.setEnableAppHangTracking(true);
    options.setSendDefaultPii(false);
    options.setEnvironment(QStringLiteral("production"));
}

void SentryTracker::track(const TrackingEvent& event)
{
    if (!m_sdk || !m_sdk->isEnabled())
        return;
    Breadcrumb breadcrumb;
    breadcrumb.level = BreadcrumbLevel::info;
    breadcrumb.category = QStringLiteral("event");
    breadcrumb.type = QStringLiteral("user");
    breadcrumb.message = event.name;
    QVariantMap data;
    for (auto it = event.payload.cbegin(); it != event.payload.cend(); ++it)
        data.insert(it.key(), it.value().toVariant());
    if (event.previousEvent)
        data.insert(QStringLiteral("previous_event"), *event.previousEvent);
    if (!data.isEmpty())
        breadcrumb.data = data;
    m_sdk->addBreadcrumb(breadcrumb);
}

} // namespace veltrin
