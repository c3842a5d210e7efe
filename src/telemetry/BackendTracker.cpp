#include "BackendTracker.h"

#include "DeviceMetadata.h"
#include "Envelope.h"
#include "TrackingQueue.h"

#include "platform/DeviceInfo.h"
#include "platform/Preferences.h"

namespace veltrin {

BackendTracker::BackendTracker(std::unique_ptr<TrackingQueue> queue, std::shared_ptr<Preferences> preferences,
    BundleInfo bundle, std::shared_ptr<const DeviceInfo> device, Clock clock)
    : m_queue(std::move(queue))
    , m_preferences(std::move(preferences))
    , m_bundle(std::move(bundle))
    , m_device(std::move(device))
    , m_clock(std::move(clock))
{
}

BackendTracker::~BackendTracker() = default;

void BackendTracker::start()
{
    ensureInstallIdentity();
    QMetaObject::invokeMethod(
        this, [this] { m_queue->flush(); }, Qt::QueuedConnection);
}

void BackendTracker::track(const TrackingEvent& event)
{
    // Queued tasks run one at a time in the order they were posted, so envelopes reach the
    // queue in the order of the events.
    QMetaObject::invokeMethod(
        this,
        [this, event] {
            if (const std::optional<QByteArray> data = makeEnvelopeData(event))
                m_queue->enqueue(*data);
        },
        Qt::QueuedConnection);
}

void BackendTracker::ensureInstallIdentity()
{
    DeviceMetadata::installIdentity(*m_preferences, DeviceMetadata::appVersionOf(m_bundle), m_clock());
}

std::optional<QByteArray> BackendTracker::makeEnvelopeData(const TrackingEvent& event)
{
    const DeviceMetadata metadata = DeviceMetadata::current(*m_preferences, m_bundle, *m_device, m_clock());
    return Envelope::make(event, metadata, m_bundle.identifier).encodeData();
}

QUrl BackendTracker::eventsEndpoint()
{
    return eventsEndpoint(QProcessEnvironment::systemEnvironment());
}

QUrl BackendTracker::eventsEndpoint(const QProcessEnvironment& environment)
{
    const QString name = QStringLiteral("VELTRIN_EVENTS_ENDPOINT");
    if (environment.contains(name)) {
        // Whatever parses is the user's choice, even where nothing can be sent: their events then
        // stay queued rather than go to the built-in address.
        QUrl url(environment.value(name), QUrl::StrictMode);
        if (url.isValid())
            return url;
    }
    return defaultEventsEndpoint();
}

QUrl BackendTracker::defaultEventsEndpoint()
{
    return QUrl(QStringLiteral(VELTRIN_DEFAULT_EVENTS_ENDPOINT), QUrl::StrictMode);
}

} // namespace veltrin
