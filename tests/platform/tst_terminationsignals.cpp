#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace veltrin;

namespace {

const char* const kChildArgument = "--signal-child";

// The child: installs the handling, reports on stdout, and optionally hangs in its shut-down.
int runChild(int argc, char* argv[], bool hang)
{
    QCoreApplication app(argc, argv);
    if (!TerminationSignals::install(app))
        return 2;
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [hang] {
        std::puts("aboutToQuit");
        std::fflush(stdout);
        // A shut-down that never ends; only a second signal gets the process out.
        if (hang)
            for (;;)
                ::pause();
    });
    std::puts("ready");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

bool waitForLine(QProcess& process, const QByteArray& line)
{
    if (process.state() == QProcess::Starting && !process.waitForStarted(20000))
        return false;
    return QTest::qWaitFor(
               [&] {
                   while (process.canReadLine()) {
                       if (process.readLine().trimmed() == line)
                           return true;
                   }
                   return process.state() != QProcess::Running;
               },
               20000)
        && process.state() == QProcess::Running;
}

} // namespace

class TestTerminationSignals final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void signalQuitsThroughTheShutDown_data();
    void signalQuitsThroughTheShutDown();
    void secondSignalEndsAHangingShutDown_data();
    void secondSignalEndsAHangingShutDown();
    void channelIsClosedOnExec();
};

void TestTerminationSignals::signalQuitsThroughTheShutDown_data()
{
    QTest::addColumn<int>("signal");
    QTest::addRow("SIGTERM") << int(SIGTERM);
    QTest::addRow("SIGINT") << int(SIGINT);
    QTest::addRow("SIGHUP") << int(SIGHUP);
}

void TestTerminationSignals::signalQuitsThroughTheShutDown()
{
    QFETCH(int, signal);
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), { QString::fromLatin1(kChildArgument) });
    QVERIFY(waitForLine(child, "ready"));
    QCOMPARE(::kill(pid_t(child.processId()), signal), 0);
    QVERIFY(child.waitForFinished(20000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QVERIFY(child.readAll().contains("aboutToQuit"));
}

void TestTerminationSignals::secondSignalEndsAHangingShutDown_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addRow("SIGTERM, SIGTERM") << int(SIGTERM) << int(SIGTERM);
    QTest::addRow("SIGINT, SIGINT") << int(SIGINT) << int(SIGINT);
    QTest::addRow("SIGHUP, SIGINT") << int(SIGHUP) << int(SIGINT);
}

void TestTerminationSignals::secondSignalEndsAHangingShutDown()
{
    QFETCH(int, first);
    QFETCH(int, second);
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
        { QString::fromLatin1(kChildArgument), QStringLiteral("hang") });
    QVERIFY(waitForLine(child, "ready"));
    QCOMPARE(::kill(pid_t(child.processId()), first), 0);
    QVERIFY(waitForLine(child, "aboutToQuit"));
    QCOMPARE(::kill(pid_t(child.processId()), second), 0);
    QVERIFY(child.waitForFinished(20000));
    // Ended by the signal itself, as the shell reports for an interrupted program.
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
}

void TestTerminationSignals::channelIsClosedOnExec()
{
    QVERIFY(TerminationSignals::install(*QCoreApplication::instance()));
    // Qt opens its own descriptors close-on-exec, so any socket without the flag is ours.
    int sockets = 0;
    const QStringList descriptors
        = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System);
    for (const QString& name : descriptors) {
        char target[256] = {};
        const QByteArray path = QByteArrayLiteral("/proc/self/fd/") + name.toLatin1();
        const ssize_t length = ::readlink(path.constData(), target, sizeof(target) - 1);
        if (length <= 0 || !QByteArray(target, length).startsWith("socket:"))
            continue;
        const int flags = ::fcntl(name.toInt(), F_GETFD);
        if (flags < 0)
            continue; // the listing's own descriptor, closed by now
        ++sockets;
        QVERIFY2(flags & FD_CLOEXEC, qPrintable(name));
    }
    QVERIFY(sockets >= 2);
}

int main(int argc, char* argv[])
{
    if (argc >= 2 && qstrcmp(argv[1], kChildArgument) == 0)
        return runChild(argc, argv, argc >= 3 && qstrcmp(argv[2], "hang") == 0);
    QCoreApplication app(argc, argv);
    TestTerminationSignals test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_terminationsignals.moc"
