#pragma once

#include "TrackingEvent.h"

#include "platform/BundleInfo.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QProcessEnvironment>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace veltrin {

class BackendTracker;
class ContinuousTimer;
class DeviceInfo;
class ErrorReportingSdk;
class EventTracker;
class Preferences;

// The process-wide usage telemetry and the only producer of usage events: "install" once per
// installation, "app_open" at every launch, and "app_close" for the previous run's session,
// recovered from its stored record. Lives on the main thread.
class Tracker final : public QObject {
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    // The stored record of a session: compact JSON, points in time as seconds (with fraction)
    // since 2001-01-01T00:00:00Z.
    struct OpenSession {
        QString id;
        QDateTime start;
        QDateTime lastSeen;
        bool cleanExit = false;

        // Absent when a point in time is invalid or outside the years 1 to 9999.
        std::optional<QByteArray> encode() const;
        // Absent unless all four members are there with their JSON types and in range.
        static std::optional<OpenSession> decode(const QByteArray& bytes);
    };

    // Everything the tracker works with; system() gives the real ones.
    struct Setup {
        std::shared_ptr<Preferences> preferences;
        QStringList arguments;
        QProcessEnvironment environment;
        BundleInfo bundle;
        std::shared_ptr<const DeviceInfo> device;
        std::shared_ptr<ErrorReportingSdk> errorReporting;
        QString dsn;
        std::optional<QUrl> endpoint; // absent: from the environment, else the default
        QString queueFolder; // empty: the Application Support folder
        std::chrono::milliseconds requestTimeout { 60000 };
        std::chrono::milliseconds heartbeatInterval { 30000 };
        Clock clock;
        // The heartbeat's clock, which runs on while the computer sleeps; absent: the system's,
        // made when the session starts.
        std::shared_ptr<ContinuousTimer> heartbeatTimer;

        static Setup system();
    };

    // Made on first use, never destroyed.
    static Tracker& shared();

    // Builds the back-ends (error reporting first, then events with its queue) and decides once
    // whether telemetry is on. Sends and writes nothing.
    explicit Tracker(Setup setup);
    ~Tracker() override;
    Q_DISABLE_COPY_MOVE(Tracker)

    // Once per process, on the main thread. Does nothing at all when telemetry is off.
    void start();

    void track(const QString& name, const QDateTime& at, const TrackingPayload& payload);

    static bool isTelemetryDisabled();
    static bool isTelemetryDisabled(const QProcessEnvironment& environment, const QStringList& arguments);

    void recoverPreviousSession();
    void trackInstallIfNeeded();
    void startSession();
    // Run when the application is about to quit: stops the heartbeat, marks a clean exit.
    void endSession();
    void saveOpenSession(const QDateTime& lastSeen, bool cleanExit);
    void runHeartbeat();

    bool isEnabled() const { return m_enabled; }
    std::optional<QString> lastEvent() const { return m_lastEvent; }
    QString sessionID() const { return m_sessionID; }
    QDateTime sessionStart() const { return m_sessionStart; }
    bool isHeartbeatRunning() const { return m_heartbeatRunning; }
    QList<std::shared_ptr<EventTracker>> trackers() const { return m_trackers; }
    BackendTracker& backend() const { return *m_backend; }

private:
    QDateTime now() const;
    void startHeartbeat();

    std::shared_ptr<Preferences> m_preferences;
    Clock m_clock;
    std::shared_ptr<ContinuousTimer> m_heartbeatTimer;
    std::chrono::milliseconds m_heartbeatInterval;
    std::chrono::milliseconds m_nextBeat {}; // on the heartbeat timer's clock
    std::shared_ptr<BackendTracker> m_backend;
    QList<std::shared_ptr<EventTracker>> m_trackers;
    bool m_enabled = false;
    std::optional<QString> m_lastEvent;
    QString m_sessionID;
    QDateTime m_sessionStart;
    bool m_heartbeatRunning = false;
};

} // namespace veltrin
