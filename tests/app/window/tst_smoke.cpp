#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

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
    QTest::addRow("SIGTERM") << int(SIGTERM);
    QTest::addRow("SIGINT") << int(SIGINT);
}

void TestSmoke::staysUpAndQuitsCleanlyOnSignal()
{
    QFETCH(int, signal);
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral(".local/share")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral(".cache")));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QProcess app;
    app.setProcessEnvironment(environment);
    app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    app.start(QStringLiteral(VELTRIN_BINARY), { QStringLiteral("-disableTelemetry") });
    QVERIFY2(app.waitForStarted(10000), qPrintable(app.errorString()));
    QVERIFY2(!app.waitForFinished(2000), "the application ended by itself");
    QCOMPARE(app.state(), QProcess::Running);

    QCOMPARE(::kill(pid_t(app.processId()), signal), 0);
    QVERIFY(app.waitForFinished(20000));
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestSmoke)
#include "tst_smoke.moc"
