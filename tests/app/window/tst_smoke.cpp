#include "ScratchHome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>

using namespace veltrin;

using test::processTimeout;
using Scratch = test::ScratchHome;

// Starts the real application the way a user would, on a scratch home folder.
class TestSmoke final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void staysUpAndQuitsCleanlyOnSignal_data();
    void staysUpAndQuitsCleanlyOnSignal();
};

void TestSmoke::staysUpAndQuitsCleanlyOnSignal_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("telemetry");
    QTest::addRow("SIGTERM") << int(SIGTERM) << true;
    QTest::addRow("SIGINT") << int(SIGINT) << true;
    QTest::addRow("SIGHUP") << int(SIGHUP) << true;
    QTest::addRow("SIGTERM, telemetry off") << int(SIGTERM) << false;
}

void TestSmoke::staysUpAndQuitsCleanlyOnSignal()
{
    QFETCH(int, signal);
    QFETCH(bool, telemetry);
    Scratch scratch;
    QVERIFY(scratch.home.isValid());

    QProcess app;
    app.setProcessEnvironment(scratch.environment());
    app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    app.start(QStringLiteral(VELTRIN_BINARY),
        telemetry ? QStringList() : QStringList { QStringLiteral("-disableTelemetry") });
    QVERIFY2(app.waitForStarted(10000), qPrintable(app.errorString()));

    std::optional<Tracker::OpenSession> running;
    if (telemetry) {
        // The session record is written during start-up, before the window.
        const auto recordedOrEnded = [&] {
            running = scratch.session();
            return running.has_value() || app.state() != QProcess::Running;
        };
        QTRY_VERIFY_WITH_TIMEOUT(recordedOrEnded(), processTimeout);
        QVERIFY2(app.state() == QProcess::Running, "the application ended by itself");
        QVERIFY(!running->cleanExit);
    } else {
        // Without telemetry nothing is written; the instance socket shows start-up got that far.
        const QString socket
            = QDir(scratch.runtimeFolder()).filePath(QStringLiteral("org.veltrin.Veltrin.socket"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket) || app.state() != QProcess::Running, processTimeout);
        QVERIFY2(app.state() == QProcess::Running, "the application ended by itself");
    }

    QCOMPARE(::kill(pid_t(app.processId()), signal), 0);
    QVERIFY(app.waitForFinished(processTimeout));
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);

    const std::optional<Tracker::OpenSession> ended = scratch.session();
    if (!telemetry) {
        QVERIFY(!ended);
        return;
    }
    // The shut-down ran: the same session, now marked as ended cleanly.
    QVERIFY(ended);
    QCOMPARE(ended->id, running->id);
    QCOMPARE(ended->start, running->start);
    QVERIFY(ended->cleanExit);
    QVERIFY(ended->lastSeen >= running->lastSeen);
}

QTEST_GUILESS_MAIN(TestSmoke)
#include "tst_smoke.moc"
