#include "ScriptedHttpServer.h"
#include "TestSupport.h"
#include "telemetry/TrackingQueue.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace veltrin;
using namespace std::chrono_literals;

namespace {

bool finished(const QFuture<void>& future, int timeoutMs = 15000)
{
    return QTest::qWaitFor([&future] { return future.isFinished(); }, timeoutMs);
}

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

// The queue file is read and written through the file layer: what stands at its path instead
// of a file neither hangs the queue nor gets written through.
class TestTrackingQueueFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void irregularQueueFile_data();
    void irregularQueueFile();
};

void TestTrackingQueueFile::irregularQueueFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addRow("FIFO") << QStringLiteral("fifo");
    QTest::addRow("link to a file outside") << QStringLiteral("link");
}

void TestTrackingQueueFile::irregularQueueFile()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QTemporaryDir outside;
    const QString path = dir.filePath(QStringLiteral("tracking-queue.json"));
    const QString secret = outside.filePath(QStringLiteral("secret"));
    QVERIFY(test::writeFile(secret, "outside text"));
    if (kind == u"fifo")
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    else
        QVERIFY(QFile::link(secret, path));

    test::ScriptedHttpServer server;
    server.script({ test::ScriptedHttpServer::Reply::withStatus(503) });
    TrackingQueue queue(server.url(), QUrl::fromLocalFile(path), 5000ms);
    // The read of the old queue and the write of the new one both come before the request.
    QVERIFY(finished(queue.enqueue("{\"n\":1}")));
    QCOMPARE(server.requestCount(), 1);
    queue.stop();

    QCOMPARE(contentsOf(secret), QByteArray("outside text"));
    struct stat status { };
    QVERIFY(::lstat(QFile::encodeName(path).constData(), &status) == 0);
    QVERIFY(kind == u"fifo" ? S_ISFIFO(status.st_mode) : S_ISLNK(status.st_mode));
}

QTEST_GUILESS_MAIN(TestTrackingQueueFile)
#include "tst_trackingqueuefile.moc"
