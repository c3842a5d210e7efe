#include "platform/ProcRunningApplications.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

using namespace veltrin;

class TestProcRunningApplications final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void countsProcessesByName_data();
    void countsProcessesByName();
    void missingFolderCountsNothing();
    void seesARealProcess();
};

void TestProcRunningApplications::countsProcessesByName_data()
{
    QTest::addColumn<QString>("bundleIdentifier");
    QTest::addColumn<int>("expected");
    QTest::addRow("Mail") << u"com.apple.mail"_qs << 2;
    QTest::addRow("identifier case matters") << u"com.apple.Mail"_qs << 0;
    QTest::addRow("unknown application") << u"org.example.editor"_qs << 0;
    QTest::addRow("empty") << QString() << 0;
}

void TestProcRunningApplications::countsProcessesByName()
{
    QFETCH(QString, bundleIdentifier);
    QFETCH(int, expected);
    QTemporaryDir proc;
    const auto process = [&](const QString& entry, const QByteArray& name,
                             const QByteArray& state = "S (sleeping)", uid_t owner = 1000) {
        const QByteArray uid = QByteArray::number(owner);
        QVERIFY(veltrin::test::writeFile(proc.filePath(entry + u"/status"),
            "Name:\t" + name + "\nUmask:\t0022\nState:\t" + state + "\nTgid:\t1\nPid:\t1\nUid:\t" + uid + '\t'
                + uid + '\t' + uid + '\t' + uid + "\nGid:\t100\t100\t100\t100\n"));
    };
    process(u"101"_qs, "Mail");
    process(u"2024"_qs, "Mail", "R (running)");
    process(u"303"_qs, "Mailbox");
    process(u"404"_qs, "mail");
    process(u"505"_qs, "Mail Helper");
    process(u"707"_qs, "Mail", "Z (zombie)"); // ended, not yet reaped
    process(u"708"_qs, "Mail", "X (dead)");
    process(u"809"_qs, "Mail", "S (sleeping)", 1001); // another user's
    process(u"self"_qs, "Mail"); // a link to a process listed anyway
    process(u"12ab"_qs, "Mail"); // not a process
    QVERIFY(QDir(proc.path()).mkdir(u"606"_qs)); // ended while scanning: no status
    QVERIFY(veltrin::test::writeFile(proc.filePath(u"uptime"_qs), "1.0 2.0\n"));

    const ProcRunningApplications running(proc.path(), 1000);
    QCOMPARE(running.runningCount(bundleIdentifier), expected);
}

void TestProcRunningApplications::missingFolderCountsNothing()
{
    const ProcRunningApplications running(u"/nonexistent/proc"_qs);
    QCOMPARE(running.runningCount(u"com.apple.mail"_qs), 0);
    QCOMPARE(ProcRunningApplications::processName(u"com.apple.mail"_qs), u"Mail"_qs);
}

void TestProcRunningApplications::seesARealProcess()
{
    if (!QFile::exists(u"/proc/self/comm"_qs))
        QSKIP("no /proc on this system");
    const QString sleep = QStandardPaths::findExecutable(u"sleep"_qs);
    if (sleep.isEmpty())
        QSKIP("no sleep executable");
    QTemporaryDir folder;
    const QString mail = folder.filePath(u"Mail"_qs);
    QVERIFY(QFile::copy(sleep, mail));
    const ProcRunningApplications running;
    const int before = running.runningCount(u"com.apple.mail"_qs);

    QProcess process;
    process.start(mail, { u"30"_qs });
    QVERIFY(process.waitForStarted());
    QTRY_COMPARE(running.runningCount(u"com.apple.mail"_qs), before + 1);
    process.kill();
    QVERIFY(process.waitForFinished());
    QTRY_COMPARE(running.runningCount(u"com.apple.mail"_qs), before);

    // A child that has ended but is not reaped yet is a zombie: not running.
    const QByteArray path = QFile::encodeName(mail);
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(path.constData(), path.constData(), "0", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    QVERIFY(child > 0);
    const auto state = [child] {
        QFile stat(u"/proc/%1/stat"_qs.arg(child));
        return stat.open(QIODevice::ReadOnly) ? stat.readAll().split(')').last().trimmed().left(1)
                                              : QByteArray();
    };
    QTRY_COMPARE(state(), QByteArray("Z"));
    QCOMPARE(running.runningCount(u"com.apple.mail"_qs), before);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
}

QTEST_GUILESS_MAIN(TestProcRunningApplications)

#include "tst_procrunningapplications.moc"
