#include "platform/ProcRunningApplications.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

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
    const auto process = [&](const QString& entry, const QByteArray& comm) {
        QVERIFY(veltrin::test::writeFile(proc.filePath(entry + u"/comm"), comm));
    };
    process(u"101"_qs, "Mail\n");
    process(u"2024"_qs, "Mail\n");
    process(u"303"_qs, "Mailbox\n");
    process(u"404"_qs, "mail\n");
    process(u"505"_qs, "Mail Helper\n");
    process(u"self"_qs, "Mail\n");    // a link to a process listed anyway
    process(u"12ab"_qs, "Mail\n");    // not a process
    QVERIFY(QDir(proc.path()).mkdir(u"606"_qs)); // ended while scanning: no comm
    QVERIFY(veltrin::test::writeFile(proc.filePath(u"uptime"_qs), "1.0 2.0\n"));

    const ProcRunningApplications running(proc.path());
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
    process.start(mail, {u"30"_qs});
    QVERIFY(process.waitForStarted());
    QTRY_COMPARE(running.runningCount(u"com.apple.mail"_qs), before + 1);
    process.kill();
    QVERIFY(process.waitForFinished());
    QTRY_COMPARE(running.runningCount(u"com.apple.mail"_qs), before);
}

QTEST_GUILESS_MAIN(TestProcRunningApplications)

#include "tst_procrunningapplications.moc"
