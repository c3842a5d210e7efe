#include "ScratchHome.h"
#include "platform/Preferences.h"
#include "platform/SingleInstance.h"
#include "telemetry/Tracker.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>

using namespace veltrin;

namespace {

using test::processTimeout;

const QString kIdentifier = QStringLiteral("org.veltrin.Veltrin");

// Launches of the real application by one user: a shared scratch home and runtime folder.
struct User : test::ScratchHome {
    QString socketFile() const
    {
        return QDir(runtimeFolder()).filePath(kIdentifier + QStringLiteral(".socket"));
    }
    QString lockFile() const { return QDir(runtimeFolder()).filePath(kIdentifier + QStringLiteral(".lock")); }

    std::unique_ptr<QProcess> launch() const
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment());
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(QStringLiteral(VELTRIN_BINARY), QStringList());
        if (!process->waitForStarted(processTimeout))
            qWarning("%s", qPrintable(process->errorString()));
        return process;
    }

    QByteArray preferencesBytes() const
    {
        QFile file(preferencesFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Waits until the launch has started its session; its id.
    std::optional<QString> waitForSession(QProcess& process, const std::optional<QString>& other = {}) const
    {
        std::optional<Tracker::OpenSession> running;
        const auto started = [&] {
            running = session();
            return (running && running->id != other) || process.state() != QProcess::Running;
        };
        if (!QTest::qWaitFor(started, processTimeout) || process.state() != QProcess::Running || !running)
            return std::nullopt;
        return running->id;
    }
};

void quitCleanly(QProcess& process)
{
    QCOMPARE(::kill(pid_t(process.processId()), SIGTERM), 0);
    QVERIFY(process.waitForFinished(processTimeout));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

} // namespace

class TestSingleInstance final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void secondLaunchHandsOverAndTouchesNothing();
    void secondLaunchAsksTheRunningProcessToComeForward();
    void lockOfAKilledProcessDoesNotBlock();
    void lockOfAnEndedProcessDoesNotBlock();
};

void TestSingleInstance::secondLaunchHandsOverAndTouchesNothing()
{
    User user;
    const std::unique_ptr<QProcess> first = user.launch();
    const std::optional<QString> session = user.waitForSession(*first);
    QVERIFY2(session, "the first launch did not start its session");
    const QByteArray preferences = user.preferencesBytes();

    const std::unique_ptr<QProcess> second = user.launch();
    QVERIFY(second->waitForFinished(processTimeout));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);

    // The second launch neither reported the running session nor started one of its own.
    QCOMPARE(first->state(), QProcess::Running);
    QCOMPARE(user.preferencesBytes(), preferences);
    QCOMPARE(user.session()->id, *session);
    quitCleanly(*first);
}

void TestSingleInstance::secondLaunchAsksTheRunningProcessToComeForward()
{
    User user;
    // This test is the running process.
    SingleInstance running(kIdentifier, user.runtimeFolder());
    QCOMPARE(running.claim(), SingleInstance::Role::primary);
    QSignalSpy activations(&running, &SingleInstance::activationRequested);

    const std::unique_ptr<QProcess> second = user.launch();
    QVERIFY(activations.wait(processTimeout));
    // This process keeps serving events while the launch waits for the answer.
    QTRY_COMPARE_WITH_TIMEOUT(second->state(), QProcess::NotRunning, processTimeout);
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(activations.size(), 1);
    QVERIFY(!QFile::exists(user.preferencesFile()));
}

void TestSingleInstance::lockOfAKilledProcessDoesNotBlock()
{
    User user;
    const std::unique_ptr<QProcess> first = user.launch();
    const std::optional<QString> firstSession = user.waitForSession(*first);
    QVERIFY(firstSession);
    first->kill();
    QVERIFY(first->waitForFinished(processTimeout));
    QVERIFY(QFile::exists(user.lockFile()));
    QVERIFY(QFile::exists(user.socketFile()));

    const std::unique_ptr<QProcess> next = user.launch();
    QVERIFY2(user.waitForSession(*next, firstSession), "the next launch did not run");
    quitCleanly(*next);
}

void TestSingleInstance::lockOfAnEndedProcessDoesNotBlock()
{
    User user;
    // A lock file left behind, naming a process that has ended since.
    QProcess ended;
    ended.start(QStringLiteral("true"), QStringList());
    QVERIFY(ended.waitForStarted(processTimeout));
    const qint64 endedId = ended.processId();
    QVERIFY(ended.waitForFinished(processTimeout));
    QFile lock(user.lockFile());
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(endedId) + "\nveltrin\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    lock.close();

    const std::unique_ptr<QProcess> next = user.launch();
    QVERIFY2(user.waitForSession(*next), "the launch did not run");
    quitCleanly(*next);
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
