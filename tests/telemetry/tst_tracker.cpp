#include "FakeContinuousTimer.h"
#include "RecordingPreferences.h"
#include "ScriptedHttpServer.h"
#include "TestSupport.h"

#include "platform/DeviceInfo.h"
#include "platform/LocalErrorReporting.h"
#include "telemetry/BackendTracker.h"
#include "telemetry/Tracker.h"
#include "telemetry/TrackingQueue.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace veltrin;
using namespace std::chrono_literals;
using Reply = test::ScriptedHttpServer::Reply;

namespace {

const QString kDsn = QStringLiteral("https://0123456789abcdef0123456789abcdef@errors.veltrin.invalid/42");
const QDateTime kFirstLaunch(QDate(2026, 12, 10), QTime(9, 0, 0, 250), Qt::UTC);
const QString kOpenSession = QStringLiteral("tracking.openSession");

QStringList names(const QList<QJsonObject>& envelopes)
{
    QStringList list;
    for (const QJsonObject& envelope : envelopes)
        list << envelope.value(u"event").toString();
    return list;
}

} // namespace

// One run of the application: its own preferences object over the shared file, its own
// error-reporting client and tracker, as after a restart.
struct Launch {
    std::shared_ptr<test::RecordingPreferences> preferences;
    std::shared_ptr<LocalErrorReporting> errorReporting = std::make_shared<LocalErrorReporting>();
    std::unique_ptr<Tracker> tracker;
};

class TestTracker : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();

    void firstLaunch();
    void nextLaunchReportsThePreviousSession_data();
    void nextLaunchReportsThePreviousSession();
    void storedRecordsThatDoNotDecode_data();
    void storedRecordsThatDoNotDecode();
    void heartbeatStopsAtTheQuit();
    void queuedEnvelopesSurviveARestart();
    void telemetryOff_data();
    void telemetryOff();
    void optOutRules_data();
    void optOutRules();
    void endpointFromTheEnvironment_data();
    void endpointFromTheEnvironment();
    void openSessionForm();
    void heartbeatFollowsTheBootClock();
    void heartbeatWakesOncePerBeat_data();
    void heartbeatWakesOncePerBeat();
    void threeEventsInOneLaunch();
    void optOutOfThisProcess_data();
    void optOutOfThisProcess();

private:
    Launch launch(QStringList arguments = {}, QProcessEnvironment environment = {},
        std::chrono::milliseconds heartbeat = 1h, bool injectEndpoint = true);
    // Lets the back-end's main-thread tasks run and waits until the queue has done their work.
    void settle(const Launch& launch);
    QList<QJsonObject> envelopes() const;
    std::optional<Tracker::OpenSession> storedSession() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::ScriptedHttpServer> m_server;
    QDateTime m_now;
    std::shared_ptr<test::FakeContinuousTimer> m_timer; // set: the heartbeat's clock, moved by hand
};

void TestTracker::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_server = std::make_unique<test::ScriptedHttpServer>();
    m_now = kFirstLaunch;
    m_timer.reset();
}

Launch TestTracker::launch(QStringList arguments, QProcessEnvironment environment,
    std::chrono::milliseconds heartbeat, bool injectEndpoint)
{
    Launch run;
    run.preferences = std::make_shared<test::RecordingPreferences>(m_dir->filePath(QStringLiteral("prefs")));
    Tracker::Setup setup;
    setup.preferences = run.preferences;
    setup.arguments = std::move(arguments);
    setup.environment = std::move(environment);
    setup.bundle = { QStringLiteral("org.veltrin.Veltrin"), QStringLiteral("0.1.0"), QStringLiteral("7") };
    setup.device
        = std::make_shared<DeviceInfo>(DeviceInfo::Sources { QStringLiteral("6.1.0-18-amd64"), QString() });
    setup.errorReporting = run.errorReporting;
    setup.dsn = kDsn;
    if (injectEndpoint)
        setup.endpoint = m_server->url();
    setup.queueFolder = m_dir->filePath(QStringLiteral("Application Support"));
    setup.requestTimeout = 2s;
    setup.heartbeatInterval = heartbeat;
    setup.clock = [this] { return m_now; };
    setup.heartbeatTimer = m_timer;
    run.tracker = std::make_unique<Tracker>(std::move(setup));
    return run;
}

void TestTracker::settle(const Launch& launch)
{
    QCoreApplication::sendPostedEvents();
    launch.tracker->backend().queue().waitForIdle();
}

QList<QJsonObject> TestTracker::envelopes() const
{
    QList<QJsonObject> list;
    for (const QByteArray& body : m_server->bodies())
        list << QJsonDocument::fromJson(body).object();
    return list;
}

std::optional<Tracker::OpenSession> TestTracker::storedSession() const
{
    const SettingsPreferences reopened(m_dir->filePath(QStringLiteral("prefs")));
    const std::optional<QByteArray> data = reopened.data(kOpenSession);
    return data ? Tracker::OpenSession::decode(*data) : std::nullopt;
}

void TestTracker::firstLaunch()
{
    Launch run = launch();
    QVERIFY(run.preferences->log().isEmpty()); // creating the tracker touches nothing
    run.tracker->start();
    settle(run);

    QCOMPARE(run.preferences->writes(),
        (QStringList { QStringLiteral("set tracking.deviceID"), QStringLiteral("set tracking.installDate"),
            QStringLiteral("set tracking.installVersion"), QStringLiteral("set tracking.installEventSent"),
            QStringLiteral("set tracking.openSession") }));
    const std::optional<Tracker::OpenSession> session = storedSession();
    QVERIFY(session);
    QCOMPARE(session->id, run.tracker->sessionID());
    QCOMPARE(session->start, kFirstLaunch);
    QCOMPARE(session->lastSeen, session->start);
    QVERIFY(!session->cleanExit);
    QVERIFY(run.tracker->isHeartbeatRunning());

    const QList<QJsonObject> sent = envelopes();
    QCOMPARE(names(sent), (QStringList { QStringLiteral("install"), QStringLiteral("app_open") }));
    QVERIFY(!sent[0].contains(u"previous_event"));
    QCOMPARE(sent[0].value(u"payload").toObject(), QJsonObject());
    QCOMPARE(sent[1].value(u"previous_event").toString(), QStringLiteral("install"));
    QCOMPARE(sent[1].value(u"payload").toObject().value(u"session_id").toString(), run.tracker->sessionID());
    for (const QJsonObject& envelope : sent) {
        QCOMPARE(envelope.value(u"install_version").toString(), envelope.value(u"app_version").toString());
        QCOMPARE(envelope.value(u"install_timestamp").toString(), QStringLiteral("2026-12-10T09:00:00Z"));
        QCOMPARE(envelope.value(u"idfv").toString(),
            run.preferences->string(QStringLiteral("tracking.deviceID")).value());
    }
    QCOMPARE(run.tracker->lastEvent(), QStringLiteral("app_open"));

    const QList<Breadcrumb> crumbs = run.errorReporting->breadcrumbs();
    QCOMPARE(crumbs.size(), 2);
    QCOMPARE(crumbs[0].message, QStringLiteral("install"));
    QVERIFY(!crumbs[0].data);
    QCOMPARE(crumbs[1].data->value(QStringLiteral("previous_event")).toString(), QStringLiteral("install"));

    QFile queueFile(m_dir->filePath(QStringLiteral("Application Support/tracking-queue.json")));
    QVERIFY(queueFile.open(QIODevice::ReadOnly));
    QCOMPARE(queueFile.readAll(), QByteArray("[]"));
}

void TestTracker::nextLaunchReportsThePreviousSession_data()
{
    QTest::addColumn<int>("heartbeats");
    QTest::addColumn<bool>("quits");
    QTest::addColumn<qint64>("duration");

    // Each heartbeat happens 30 s of clock time later; the quit comes 5.5 s after the last one.
    QTest::addRow("normal quit") << 3 << true << qint64(95500);
    QTest::addRow("crash after two heartbeats") << 2 << false << qint64(60000);
    QTest::addRow("crash before the first heartbeat") << 0 << false << qint64(0);
}

void TestTracker::nextLaunchReportsThePreviousSession()
{
    QFETCH(int, heartbeats);
    QFETCH(bool, quits);
    QFETCH(qint64, duration);

    QString firstSession;
    QString deviceID;
    {
        Launch run = launch({}, {}, 30ms);
        run.tracker->start();
        firstSession = run.tracker->sessionID();
        for (int beat = 1; beat <= heartbeats; ++beat) {
            m_now = kFirstLaunch.addSecs(qint64(30) * beat);
            const qsizetype before = run.preferences->countOf(QStringLiteral("set ") + kOpenSession);
            QTRY_VERIFY(run.preferences->countOf(QStringLiteral("set ") + kOpenSession) > before);
            QCOMPARE(storedSession()->lastSeen, m_now);
        }
        if (quits) {
            m_now = m_now.addMSecs(5500);
            QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit"));
            QVERIFY(!run.tracker->isHeartbeatRunning());
            QVERIFY(storedSession()->cleanExit);
        }
        settle(run);
        deviceID = run.preferences->string(QStringLiteral("tracking.deviceID")).value();
    }
    const QDateTime lastSeen = storedSession()->lastSeen;

    m_now = kFirstLaunch.addDays(1);
    const qsizetype sentBefore = m_server->requestCount();
    Launch next = launch();
    next.tracker->start();
    settle(next);

    const QList<QJsonObject> sent = envelopes().mid(sentBefore);
    QCOMPARE(names(sent), (QStringList { QStringLiteral("app_close"), QStringLiteral("app_open") }));
    const QJsonObject& close = sent[0];
    QVERIFY(!close.contains(u"previous_event"));
    QCOMPARE(close.value(u"timestamp").toString(), lastSeen.toString(Qt::ISODate));
    const QJsonObject payload = close.value(u"payload").toObject();
    QCOMPARE(payload.value(u"session_id").toString(), firstSession);
    QVERIFY(payload.value(u"duration_ms").isDouble());
    QCOMPARE(payload.value(u"duration_ms").toInteger(), duration);
    QCOMPARE(payload.value(u"clean_exit").toBool(true), quits);
    QVERIFY(payload.value(u"clean_exit").isBool());
    QCOMPARE(sent[1].value(u"previous_event").toString(), QStringLiteral("app_close"));
    QCOMPARE(sent[1].value(u"idfv").toString(), deviceID);

    const Breadcrumb crumb = next.errorReporting->breadcrumbs().constFirst();
    QCOMPARE(crumb.message, QStringLiteral("app_close"));
    QCOMPARE(crumb.data->value(QStringLiteral("duration_ms")).typeId(), QMetaType::LongLong);
    QCOMPARE(crumb.data->value(QStringLiteral("clean_exit")).typeId(), QMetaType::Bool);

    // Consumed and replaced by the new session's record.
    QCOMPARE(storedSession()->id, next.tracker->sessionID());
    QVERIFY(next.preferences->log().indexOf(QStringLiteral("remove ") + kOpenSession)
        < next.preferences->log().lastIndexOf(QStringLiteral("set ") + kOpenSession));
}

void TestTracker::storedRecordsThatDoNotDecode_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("reported");
    QTest::addColumn<qint64>("duration");

    QTest::addRow("not JSON") << QVariant(QByteArray("{\"id\":")) << false << qint64(0);
    QTest::addRow("cleanExit missing")
        << QVariant(QByteArray(R"({"id":"A","start":1,"lastSeen":2})")) << false << qint64(0);
    QTest::addRow("start as text") << QVariant(
        QByteArray(R"({"id":"A","start":"1","lastSeen":2,"cleanExit":true})"))
                                   << false << qint64(0);
    QTest::addRow("cleanExit as number")
        << QVariant(QByteArray(R"({"id":"A","start":1,"lastSeen":2,"cleanExit":1})")) << false << qint64(0);
    QTest::addRow("id as number") << QVariant(
        QByteArray(R"({"id":7,"start":1,"lastSeen":2,"cleanExit":true})"))
                                  << false << qint64(0);
    QTest::addRow("an array") << QVariant(QByteArray(R"(["A",1,2,true])")) << false << qint64(0);
    QTest::addRow("beyond year 9999")
        << QVariant(QByteArray(R"({"id":"A","start":1,"lastSeen":1e300,"cleanExit":true})")) << false
        << qint64(0);
    QTest::addRow("text, not data") << QVariant(
        QStringLiteral(R"({"id":"A","start":1,"lastSeen":2,"cleanExit":true})"))
                                    << false << qint64(0);
    QTest::addRow("unknown members are ignored")
        << QVariant(QByteArray(R"({"extra":[1],"cleanExit":true,"lastSeen":2.5,"start":1,"id":"A"})")) << true
        << qint64(1500);
    QTest::addRow("lastSeen before start")
        << QVariant(QByteArray(R"({"id":"A","start":100,"lastSeen":40,"cleanExit":false})")) << true
        << qint64(0);
}

void TestTracker::storedRecordsThatDoNotDecode()
{
    QFETCH(QVariant, stored);
    QFETCH(bool, reported);
    QFETCH(qint64, duration);
    SettingsPreferences(m_dir->filePath(QStringLiteral("prefs"))).set(kOpenSession, stored);
    SettingsPreferences(m_dir->filePath(QStringLiteral("prefs")))
        .set(QStringLiteral("tracking.installEventSent"), true);

    Launch run = launch();
    run.tracker->start();
    settle(run);

    const QList<QJsonObject> sent = envelopes();
    const QStringList expected = reported
        ? QStringList { QStringLiteral("app_close"), QStringLiteral("app_open") }
        : QStringList { QStringLiteral("app_open") };
    QCOMPARE(names(sent), expected);
    if (reported)
        QCOMPARE(sent[0].value(u"payload").toObject().value(u"duration_ms").toInteger(), duration);
    else
        QVERIFY(!sent[0].contains(u"previous_event"));
    const std::optional<Tracker::OpenSession> session = storedSession();
    QVERIFY(session);
    QCOMPARE(session->id, run.tracker->sessionID());
}

void TestTracker::heartbeatStopsAtTheQuit()
{
    m_timer = std::make_shared<test::FakeContinuousTimer>();
    Launch run = launch({}, {}, 20ms);
    run.tracker->start();
    const QString write = QStringLiteral("set ") + kOpenSession;
    for (int beat = 1; beat <= 3; ++beat) {
        m_timer->advance(20ms);
        QCOMPARE(run.preferences->countOf(write), 1 + beat);
    }

    run.tracker->endSession();
    const qsizetype afterQuit = run.preferences->countOf(write);
    QVERIFY(storedSession()->cleanExit);
    // Nothing is left to beat again, however much time passes.
    QVERIFY(!m_timer->isArmed());
    m_timer->advance(1h);
    QCoreApplication::processEvents();
    run.tracker->runHeartbeat(); // a beat that was already due writes nothing either
    QCOMPARE(run.preferences->countOf(write), afterQuit);
    QVERIFY(storedSession()->cleanExit);
}

void TestTracker::queuedEnvelopesSurviveARestart()
{
    m_server->setDefaultReply(Reply::withStatus(503));
    {
        Launch run = launch();
        run.tracker->start();
        settle(run);
    }
    const QList<QJsonObject> refused = envelopes();
    QCOMPARE(names(refused), QStringList { QStringLiteral("install") }); // the loop stopped at the head

    m_server->setDefaultReply(Reply::withStatus(200));
    m_now = m_now.addSecs(3600);
    Launch next = launch();
    next.tracker->start();
    settle(next);

    const QList<QJsonObject> sent = envelopes();
    QCOMPARE(names(sent),
        (QStringList { QStringLiteral("install"), QStringLiteral("install"), QStringLiteral("app_open"),
            QStringLiteral("app_close"), QStringLiteral("app_open") }));
    QCOMPARE(sent[1].value(u"event_id"), sent[0].value(u"event_id")); // the same envelope, again
}

void TestTracker::telemetryOff_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment");
    QTest::addRow("launch argument") << QStringList { QStringLiteral("veltrin"),
        QStringLiteral("-disableTelemetry") }
                                     << QStringList();
    QTest::addRow("test host, empty value")
        << QStringList() << QStringList { QStringLiteral("XCTestConfigurationFilePath=") };
    QTest::addRow("test host") << QStringList()
                               << QStringList { QStringLiteral(
                                      "XCTestConfigurationFilePath=/tmp/x.xctestconfiguration") };
}

void TestTracker::telemetryOff()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QProcessEnvironment env;
    for (const QString& entry : environment)
        env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    SettingsPreferences(m_dir->filePath(QStringLiteral("prefs")))
        .set(kOpenSession, QByteArray(R"({"id":"A","start":1,"lastSeen":2,"cleanExit":true})"));

    m_timer = std::make_shared<test::FakeContinuousTimer>();
    Launch run = launch(arguments, env, 10ms);
    QVERIFY(!run.tracker->isEnabled());
    run.tracker->start();
    QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit"));
    QCOMPARE(m_timer->arms(), 0); // nothing could write later
    settle(run);

    QCOMPARE(run.preferences->log(), QStringList());
    QCOMPARE(m_server->requestCount(), 0);
    QCOMPARE(run.errorReporting->startCount(), 0);
    QVERIFY(run.errorReporting->breadcrumbs().isEmpty());
    QVERIFY(!run.tracker->isHeartbeatRunning());
    QCOMPARE(run.tracker->trackers().size(), 2);
    // The queue exists and its folder was made, but no file was written.
    QVERIFY(QFileInfo(m_dir->filePath(QStringLiteral("Application Support"))).isDir());
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("Application Support/tracking-queue.json"))));
}

void TestTracker::optOutRules_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("variables");
    QTest::addColumn<bool>("disabled");
    QTest::addRow("nothing") << QStringList { QStringLiteral("veltrin") } << QStringList() << false;
    QTest::addRow("exact argument") << QStringList { QStringLiteral("veltrin"),
        QStringLiteral("-disableTelemetry") }
                                    << QStringList() << true;
    QTest::addRow("double dash") << QStringList { QStringLiteral("--disableTelemetry") } << QStringList()
                                 << false;
    QTest::addRow("other case") << QStringList { QStringLiteral("-disabletelemetry") } << QStringList()
                                << false;
    QTest::addRow("with a value") << QStringList { QStringLiteral("-disableTelemetry=YES") } << QStringList()
                                  << false;
    QTest::addRow("variable") << QStringList()
                              << QStringList { QStringLiteral("XCTestConfigurationFilePath") } << true;
    QTest::addRow("similar variable")
        << QStringList() << QStringList { QStringLiteral("XCTestConfiguration") } << false;
}

void TestTracker::optOutRules()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, variables);
    QFETCH(bool, disabled);
    QProcessEnvironment environment;
    for (const QString& name : variables)
        environment.insert(name, QString());
    QCOMPARE(Tracker::isTelemetryDisabled(environment, arguments), disabled);
}

void TestTracker::endpointFromTheEnvironment_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("used"); // "server", "default" or "as given"
    QTest::addRow("local server") << QString() << "server";
    QTest::addRow("not a URL") << QStringLiteral("::not a url::") << "default";
    // Parsed, so it is the endpoint, though nothing can be sent there: the events stay queued.
    QTest::addRow("no host") << QStringLiteral("mailto:events") << "as given";
    QTest::addRow("host read as a scheme") << QStringLiteral("localhost:8080/v1/events") << "as given";
}

void TestTracker::endpointFromTheEnvironment()
{
    QFETCH(QString, value);
    QFETCH(QString, used);
    QProcessEnvironment environment;
    environment.insert(
        QStringLiteral("VELTRIN_EVENTS_ENDPOINT"), value.isEmpty() ? m_server->url().toString() : value);
    Launch run = launch({}, environment, 1h, false);
    const QUrl endpoint = run.tracker->backend().queue().endpoint();
    if (used == u"default") {
        // Not started: the default host must never be contacted from a test.
        QCOMPARE(endpoint, BackendTracker::defaultEventsEndpoint());
        return;
    }
    if (used == u"as given") {
        QCOMPARE(endpoint, QUrl(value));
        run.tracker->start();
        settle(run);
        QCOMPARE(m_server->requestCount(), 0);
        QFile queueFile(m_dir->filePath(QStringLiteral("Application Support/tracking-queue.json")));
        QVERIFY(queueFile.open(QIODevice::ReadOnly));
        QCOMPARE(TrackingQueue::decodeItems(queueFile.readAll()).value_or(QList<QByteArray>()).size(), 2);
        return;
    }
    QCOMPARE(endpoint, m_server->url());
    run.tracker->start();
    settle(run);
    QCOMPARE(m_server->requestCount(), 2);
}

void TestTracker::openSessionForm()
{
    const Tracker::OpenSession session { QStringLiteral("S"),
        QDateTime(QDate(2001, 1, 1), QTime(0, 0, 1, 500), Qt::UTC),
        QDateTime(QDate(2001, 1, 1), QTime(0, 1, 0), Qt::UTC), true };
    const QByteArray bytes = session.encode().value();
    const QJsonObject object = QJsonDocument::fromJson(bytes).object();
    QCOMPARE(object.size(), 4);
    QCOMPARE(object.value(u"start").toDouble(), 1.5);
    QCOMPARE(object.value(u"lastSeen").toDouble(), 60.0);
    QVERIFY(!bytes.contains(' ') && !bytes.contains('\n'));
    const auto decoded = Tracker::OpenSession::decode(bytes);
    QVERIFY(decoded);
    QCOMPARE(decoded->start, session.start);
    QCOMPARE(decoded->lastSeen, session.lastSeen);
    const Tracker::OpenSession invalid { QStringLiteral("S"), QDateTime(), session.lastSeen, false };
    QVERIFY(!invalid.encode());
}

void TestTracker::heartbeatFollowsTheBootClock()
{
    m_timer = std::make_shared<test::FakeContinuousTimer>(1000s);
    // The application's own interval.
    Launch run = launch({}, {}, Tracker::Setup::system().heartbeatInterval);
    run.tracker->start();
    const QString write = QStringLiteral("set ") + kOpenSession;
    QCOMPARE(run.preferences->countOf(write), 1);
    QCOMPARE(m_timer->deadline(), 1030s);

    m_timer->advance(29999ms);
    QCOMPARE(run.preferences->countOf(write), 1);
    m_now = kFirstLaunch.addSecs(30);
    m_timer->advance(1ms);
    QCOMPARE(run.preferences->countOf(write), 2);
    QCOMPARE(storedSession()->lastSeen, m_now);

    // The computer sleeps ten minutes half-way to the next beat: the beat is written at the wake.
    m_timer->advance(15s);
    m_now = kFirstLaunch.addSecs(645);
    m_timer->advance(600s);
    QCOMPARE(run.preferences->countOf(write), 3);
    QCOMPARE(storedSession()->lastSeen, m_now);
    // The next one comes a full interval after it.
    m_timer->advance(29s);
    QCOMPARE(run.preferences->countOf(write), 3);
    m_timer->advance(1s);
    QCOMPARE(run.preferences->countOf(write), 4);
    QVERIFY(!storedSession()->cleanExit);
    QCOMPARE(m_timer->wakes(), 3);
}

void TestTracker::heartbeatWakesOncePerBeat_data()
{
    QTest::addColumn<std::chrono::milliseconds>("step");
    QTest::addColumn<std::chrono::milliseconds>("stretch");
    QTest::addColumn<int>("beats");
    QTest::addRow("95 s, clock read every 100 ms") << std::chrono::milliseconds(100ms)
                                                   << std::chrono::milliseconds(95s) << 3;
    QTest::addRow("95 s, clock read every 7 ms") << std::chrono::milliseconds(7ms)
                                                 << std::chrono::milliseconds(95s) << 3;
    QTest::addRow("just short of the first beat") << std::chrono::milliseconds(100ms)
                                                  << std::chrono::milliseconds(29900ms) << 0;
    QTest::addRow("ten minutes asleep") << std::chrono::milliseconds(600s) << std::chrono::milliseconds(600s)
                                        << 1;
}

// The thread sleeps from beat to beat: however finely the clock moves, it is woken once per beat.
void TestTracker::heartbeatWakesOncePerBeat()
{
    QFETCH(std::chrono::milliseconds, step);
    QFETCH(std::chrono::milliseconds, stretch);
    QFETCH(int, beats);
    m_timer = std::make_shared<test::FakeContinuousTimer>();
    Launch run = launch({}, {}, Tracker::Setup::system().heartbeatInterval);
    run.tracker->start();
    for (std::chrono::milliseconds moved {}; moved < stretch; moved += step)
        m_timer->advance(step);

    QCOMPARE(m_timer->wakes(), beats);
    QCOMPARE(m_timer->arms(), 1 + beats);
    QCOMPARE(run.preferences->countOf(QStringLiteral("set ") + kOpenSession), 1 + beats);
    QVERIFY(m_timer->isArmed());
}

void TestTracker::threeEventsInOneLaunch()
{
    // A session record from an earlier run, on an installation that never sent "install".
    const QByteArray record = Tracker::OpenSession { QStringLiteral("EARLIER"), kFirstLaunch.addSecs(-90),
        kFirstLaunch.addSecs(-30), false }
                                  .encode()
                                  .value();
    SettingsPreferences(m_dir->filePath(QStringLiteral("prefs"))).set(kOpenSession, record);

    Launch run = launch();
    run.tracker->start();
    settle(run);

    const QList<QJsonObject> sent = envelopes();
    QCOMPARE(names(sent),
        (QStringList { QStringLiteral("app_close"), QStringLiteral("install"), QStringLiteral("app_open") }));
    QVERIFY(!sent[0].contains(u"previous_event"));
    QCOMPARE(sent[0].value(u"payload").toObject().value(u"session_id").toString(), QStringLiteral("EARLIER"));
    QCOMPARE(sent[0].value(u"payload").toObject().value(u"duration_ms").toInteger(), 60000);
    QCOMPARE(sent[1].value(u"previous_event").toString(), QStringLiteral("app_close"));
    QCOMPARE(sent[2].value(u"previous_event").toString(), QStringLiteral("install"));
    QCOMPARE(sent[2].value(u"payload").toObject().value(u"session_id").toString(), run.tracker->sessionID());
    QCOMPARE(storedSession()->id, run.tracker->sessionID());
}

void TestTracker::optOutOfThisProcess_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("variables");
    QTest::addColumn<QString>("answer");
    QTest::addRow("nothing") << QStringList() << QStringList() << "enabled";
    QTest::addRow("launch argument") << QStringList { QStringLiteral("-disableTelemetry") } << QStringList()
                                     << "disabled";
    QTest::addRow("argument with two dashes")
        << QStringList { QStringLiteral("--disableTelemetry") } << QStringList() << "enabled";
    QTest::addRow("test host variable, empty")
        << QStringList() << QStringList { QStringLiteral("XCTestConfigurationFilePath=") } << "disabled";
}

// The real process's arguments and environment: this test binary started again, asked only that.
void TestTracker::optOutOfThisProcess()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, variables);
    QFETCH(QString, answer);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XCTestConfigurationFilePath"));
    environment.insert(QStringLiteral("VELTRIN_TEST_PRINT_OPT_OUT"), QStringLiteral("1"));
    for (const QString& variable : variables)
        environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QCoreApplication::applicationFilePath(), arguments);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()), answer);
}

int main(int argc, char** argv)
{
    test::clearProxyVariables(); // the servers stand on this machine
    QCoreApplication application(argc, argv);
    if (qEnvironmentVariableIsSet("VELTRIN_TEST_PRINT_OPT_OUT")) {
        std::fputs(Tracker::isTelemetryDisabled() ? "disabled" : "enabled", stdout);
        return 0;
    }
    TestTracker test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_tracker.moc"
