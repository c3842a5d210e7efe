#include "Tracker.h"

#include "BackendTracker.h"
#include "SentryTracker.h"
#include "TelemetryFormats.h"
#include "TrackingQueue.h"

#include "platform/BootClockTimer.h"
#include "platform/DeviceInfo.h"
#include "platform/LocalErrorReporting.h"
#include "platform/Preferences.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace veltrin {

namespace {

const QString kInstallEventSentKey = QStringLiteral("tracking.installEventSent");
const QString kOpenSessionKey = QStringLiteral("tracking.openSession");

// 2001-01-01T00:00:00Z in milliseconds since the Unix epoch.
constexpr qint64 kReferenceDateMSecs = 978307200000;
// Far outside the years an envelope can carry, and small enough to convert without overflow.
constexpr double kSecondsBound = 1e12;

std::optional<double> secondsSinceReferenceDate(const QDateTime& time)
{
    if (!hasIso8601Year(time))
        return std::nullopt;
    return double(time.toMSecsSinceEpoch() - kReferenceDateMSecs) / 1000.0;
}

std::optional<QDateTime> dateFromReferenceSeconds(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double seconds = value.toDouble();
    if (!std::isfinite(seconds) || std::abs(seconds) > kSecondsBound)
        return std::nullopt;
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(
        qint64(std::llround(seconds * 1000.0)) + kReferenceDateMSecs, Qt::UTC);
    if (!hasIso8601Year(time))
        return std::nullopt;
    return time;
}

} // namespace

std::optional<QByteArray> Tracker::OpenSession::encode() const
{
    const std::optional<double> startSeconds = secondsSinceReferenceDate(start);
    const std::optional<double> lastSeenSeconds = secondsSinceReferenceDate(lastSeen);
    if (!startSeconds || !lastSeenSeconds)
        return std::nullopt;
    const QJsonObject object { { QStringLiteral("id"), id }, { QStringLiteral("start"), *startSeconds },
        { QStringLiteral("lastSeen"), *lastSeenSeconds }, { QStringLiteral("cleanExit"), cleanExit } };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<Tracker::OpenSession> Tracker::OpenSession::decode(const QByteArray& bytes)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue id = object.value(u"id");
    const QJsonValue cleanExit = object.value(u"cleanExit");
    const std::optional<QDateTime> start = dateFromReferenceSeconds(object.value(u"start"));
    const std::optional<QDateTime> lastSeen = dateFromReferenceSeconds(object.value(u"lastSeen"));
    if (!id.isString() || !cleanExit.isBool() || !start || !lastSeen)
        return std::nullopt;
    return OpenSession { id.toString(), *start, *lastSeen, cleanExit.toBool() };
}

Tracker::Setup Tracker::Setup::system()
{
    Setup setup;
    setup.preferences = std::make_shared<SettingsPreferences>();
    setup.arguments = QCoreApplication::instance() ? QCoreApplication::arguments() : QStringList();
    setup.environment = QProcessEnvironment::systemEnvironment();
    setup.bundle = BundleInfo::current();
    setup.device = std::make_shared<DeviceInfo>();
    setup.errorReporting = std::make_shared<LocalErrorReporting>();
    setup.dsn = QStringLiteral(VELTRIN_SENTRY_DSN);
    return setup;
}

Tracker& Tracker::shared()
{
    // Deliberately leaked: the tracker lives as long as the process. Only the queue's thread is
    // ended, while the application object still exists, so that no request runs into its end.
    static Tracker* const tracker = [] {
        auto* shared = new Tracker(Setup::system());
        qAddPostRoutine([] { Tracker::shared().backend().queue().stop(); });
        return shared;
    }();
    return *tracker;
}

Tracker::Tracker(Setup setup)
    : m_preferences(std::move(setup.preferences))
    , m_clock(setup.clock ? std::move(setup.clock) : [] { return QDateTime::currentDateTimeUtc(); })
    , m_heartbeatTimer(std::move(setup.heartbeatTimer))
    , m_heartbeatInterval(setup.heartbeatInterval)
{
    auto sentry = std::make_shared<SentryTracker>(std::move(setup.errorReporting), setup.dsn);

    const QUrl endpoint
        = setup.endpoint ? *setup.endpoint : BackendTracker::eventsEndpoint(setup.environment);
    std::optional<QUrl> fileURL = setup.queueFolder.isEmpty()
        ? TrackingQueue::queueFileURL()
        : TrackingQueue::queueFileURL(setup.queueFolder);
    auto queue = std::make_unique<TrackingQueue>(endpoint, std::move(fileURL), setup.requestTimeout);
    m_backend = std::make_shared<BackendTracker>(
        std::move(queue), m_preferences, setup.bundle, std::move(setup.device), m_clock);

    m_trackers = { sentry, m_backend };
    m_enabled = !isTelemetryDisabled(setup.environment, setup.arguments);
    m_sessionID = newUuidText();
    m_sessionStart = now();
}

Tracker::~Tracker() = default;

void Tracker::start()
{
    if (!m_enabled)
        return;
    for (const std::shared_ptr<EventTracker>& tracker : std::as_const(m_trackers))
        tracker->start();
    recoverPreviousSession();
    trackInstallIfNeeded();
    startSession();
    if (QCoreApplication* application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, &Tracker::endSession);
}

void Tracker::track(const QString& name, const QDateTime& at, const TrackingPayload& payload)
{
    const TrackingEvent event { name, m_lastEvent, payload, at };
    m_lastEvent = name;
    for (const std::shared_ptr<EventTracker>& tracker : std::as_const(m_trackers))
        tracker->track(event);
}

bool Tracker::isTelemetryDisabled()
{
    return isTelemetryDisabled(QProcessEnvironment::systemEnvironment(),
        QCoreApplication::instance() ? QCoreApplication::arguments() : QStringList());
}

bool Tracker::isTelemetryDisabled(const QProcessEnvironment& environment, const QStringList& arguments)
{
    if (environment.contains(QStringLiteral("XCTestConfigurationFilePath")))
        return true;
    return arguments.contains(QStringLiteral("-disableTelemetry"));
}

void Tracker::recoverPreviousSession()
{
    const std::optional<QByteArray> stored = m_preferences->data(kOpenSessionKey);
    if (!stored)
        return;
    const std::optional<OpenSession> session = OpenSession::decode(*stored);
    if (!session)
        return; // left for startSession() to overwrite
    m_preferences->remove(kOpenSessionKey);
    // Both times lie within years 1 to 9999, so the difference fits easily.
    const qint64 durationMs = std::max<qint64>(0, session->start.msecsTo(session->lastSeen));
    track(QStringLiteral("app_close"), session->lastSeen,
        { { QStringLiteral("session_id"), TrackingValue::string(session->id) },
            { QStringLiteral("duration_ms"), TrackingValue::integer(durationMs) },
            { QStringLiteral("clean_exit"), TrackingValue::boolean(session->cleanExit) } });
}

void Tracker::trackInstallIfNeeded()
{
    if (m_preferences->boolValue(kInstallEventSentKey))
        return;
    m_preferences->set(kInstallEventSentKey, true);
    track(QStringLiteral("install"), now(), {});
}

void Tracker::startSession()
{
    m_sessionID = newUuidText();
    m_sessionStart = now();
    saveOpenSession(m_sessionStart, false);
    startHeartbeat();
    track(QStringLiteral("app_open"), now(),
        { { QStringLiteral("session_id"), TrackingValue::string(m_sessionID) } });
}

// The thread sleeps from one beat to the next. Beats follow a clock that runs on while the
// computer sleeps (Qt's timers stop then), so a beat due during a suspend is written at the wake.
void Tracker::startHeartbeat()
{
    if (!m_heartbeatTimer)
        m_heartbeatTimer = std::make_shared<BootClockTimer>();
    connect(m_heartbeatTimer.get(), &ContinuousTimer::timeout, this, &Tracker::runHeartbeat,
        Qt::UniqueConnection);
    m_heartbeatRunning = true;
    m_nextBeat = m_heartbeatTimer->now() + m_heartbeatInterval;
    m_heartbeatTimer->arm(m_nextBeat);
}

void Tracker::runHeartbeat()
{
    // A beat already due when the session ended must not follow the clean-exit record.
    if (!m_heartbeatRunning)
        return;
    const std::chrono::milliseconds clockNow = m_heartbeatTimer->now();
    if (clockNow >= m_nextBeat) {
        saveOpenSession(now(), false);
        m_nextBeat += m_heartbeatInterval;
        // After a long sleep the next beat counts from this one.
        if (m_nextBeat <= clockNow)
            m_nextBeat = clockNow + m_heartbeatInterval;
    }
    m_heartbeatTimer->arm(m_nextBeat);
}

void Tracker::endSession()
{
    if (m_heartbeatRunning) {
        m_heartbeatTimer->disarm();
        m_heartbeatRunning = false;
    }
    saveOpenSession(now(), true);
}

void Tracker::saveOpenSession(const QDateTime& lastSeen, bool cleanExit)
{
    const std::optional<QByteArray> bytes
        = OpenSession { m_sessionID, m_sessionStart, lastSeen, cleanExit }.encode();
    if (bytes)
        m_preferences->set(kOpenSessionKey, *bytes);
}

QDateTime Tracker::now() const
{
    return m_clock().toUTC();
}

} // namespace veltrin
