#pragma once

#include "EventTracker.h"

#include "platform/BundleInfo.h"

#include <QByteArray>
#include <QObject>
#include <QProcessEnvironment>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace veltrin {

class DeviceInfo;
class Preferences;
class TrackingQueue;

// Sends usage events to the events endpoint: each event becomes a JSON envelope with the device
// metadata and the install identity, handed to the queue.
class BackendTracker final : public QObject, public EventTracker {
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    BackendTracker(std::unique_ptr<TrackingQueue> queue, std::shared_ptr<Preferences> preferences,
        BundleInfo bundle, std::shared_ptr<const DeviceInfo> device, Clock clock);
    ~BackendTracker() override;
    Q_DISABLE_COPY_MOVE(BackendTracker)

    // Saves the install identity and begins a flush of envelopes left by earlier runs.
    void start() override;
    // Returns at once; the envelope is built and queued by a main-thread task, in event order.
    void track(const TrackingEvent& event) override;

    void ensureInstallIdentity();
    std::optional<QByteArray> makeEnvelopeData(const TrackingEvent& event);

    TrackingQueue& queue() const { return *m_queue; }

    // "VELTRIN_EVENTS_ENDPOINT" when it is an absolute URL with scheme and host, else the
    // built-in default.
    static QUrl eventsEndpoint();
    static QUrl eventsEndpoint(const QProcessEnvironment& environment);
    static QUrl defaultEventsEndpoint();

private:
    std::unique_ptr<TrackingQueue> m_queue;
    std::shared_ptr<Preferences> m_preferences;
    BundleInfo m_bundle;
    std::shared_ptr<const DeviceInfo> m_device;
    Clock m_clock;
};

} // namespace veltrin
