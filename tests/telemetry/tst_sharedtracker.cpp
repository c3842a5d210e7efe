#include "ScriptedHttpServer.h"
#include "TestSupport.h"

#include "telemetry/BackendTracker.h"
#include "telemetry/Tracker.h"
#include "telemetry/TrackingQueue.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <unistd.h>

using namespace veltrin;

namespace {

const char* const kChildFlag = "--as-application";

// The application's own start-up, in a process of its own: the shared tracker, the real
// preferences and Application Support folder (under a scratch home), a quit or a hard end.
int runAsApplication(int argc, char** argv, bool crash)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Veltrin"));
    QCoreApplication::setOrganizationName(QStringLiteral("Veltrin"));
    Tracker::shared().start();
    QTimer::singleShot(100, &application, [crash] {
        // Every envelope of this launch delivered first, so that each launch's events are known.
        QCoreApplication::sendPostedEvents();
        Tracker::shared().backend().queue().waitForIdle();
        if (crash)
            _exit(3); // no quit notification, no clean-up
        QCoreApplication::quit();
    });
    return QCoreApplication::exec();
}

} // namespace

class TestSharedTracker : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void launchesOfTheApplication();

private:
    int launch(const QString& mode, const QProcessEnvironment& environment);
};

int TestSharedTracker::launch(const QString& mode, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QCoreApplication::applicationFilePath(), { QString::fromLatin1(kChildFlag), mode });
    if (!process.waitForFinished(60000))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
}

void TestSharedTracker::launchesOfTheApplication()
{
    QTemporaryDir home;
    test::ScriptedHttpServer server;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XCTestConfigurationFilePath"));
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("VELTRIN_EVENTS_ENDPOINT"), server.url().toString());

    QCOMPARE(launch(QStringLiteral("quit"), environment), 0);
    QCOMPARE(launch(QStringLiteral("crash"), environment), 3);
    QCOMPARE(launch(QStringLiteral("quit"), environment), 0);

    QStringList events;
    QList<QJsonObject> closes;
    for (const QByteArray& body : server.bodies()) {
        const QJsonObject envelope = QJsonDocument::fromJson(body).object();
        events << envelope.value(u"event").toString();
        if (events.constLast() == u"app_close")
            closes << envelope.value(u"payload").toObject();
    }
    QCOMPARE(events,
        (QStringList { QStringLiteral("install"), QStringLiteral("app_open"), QStringLiteral("app_close"),
            QStringLiteral("app_open"), QStringLiteral("app_close"), QStringLiteral("app_open") }));
    QVERIFY(closes[0].value(u"clean_exit").toBool(false)); // went through the quit
    QVERIFY(!closes[1].value(u"clean_exit").toBool(true)); // ended hard

    const QString queueFile = home.filePath(QStringLiteral("data/Veltrin/Veltrin/tracking-queue.json"));
    QFile file(queueFile);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(queueFile));
    QCOMPARE(file.readAll(), QByteArray("[]"));
}

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], kChildFlag) == 0)
        return runAsApplication(argc, argv, std::strcmp(argv[2], "crash") == 0);
    test::clearProxyVariables(); // the server stands on this machine; the launches inherit this
    QCoreApplication application(argc, argv);
    TestSharedTracker test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sharedtracker.moc"
