#include "ScriptedHttpServer.h"
#include "TestSupport.h"

#include "telemetry/TrackingQueue.h"

#include <QFile>
#include <QFutureWatcher>
#include <QMutex>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <map>
#include <random>

using namespace veltrin;
using Reply = test::ScriptedHttpServer::Reply;

namespace {

constexpr int kEvents = 2000;
constexpr quint32 kDefaultSeed = 20261210;

QByteArray item(int n)
{
    return "{\"n\":" + QByteArray::number(n) + "}";
}

// The event number in a request body, or 0 for a body the test never enqueued.
int eventOf(const QByteArray& body)
{
    if (!body.startsWith("{\"n\":") || !body.endsWith('}'))
        return 0;
    bool ok = false;
    const int n = body.mid(5, body.size() - 6).toInt(&ok);
    return ok && n >= 1 && n <= kEvents ? n : 0;
}

bool waitFor(const QFuture<void>& future, int timeoutMs = 20000)
{
    QFutureWatcher<void> watcher;
    QSignalSpy finished(&watcher, &QFutureWatcherBase::finished);
    watcher.setFuture(future);
    // A future that finishes after this check still reaches the watcher.
    return future.isFinished() || finished.wait(timeoutMs);
}

// late: taken by the endpoint, but answered only after the client has given up.
constexpr std::chrono::milliseconds kTimeout { 100 }; // each stalled or late request costs this much

enum class Verdict { accepted, late, rejected, failed, dropped, stalled };

// Answers each request at random and keeps what it decided, in arrival order. While the
// outage is on, every request fails, so that the queue grows past its capacity.
// The endpoint decided about the event: it counts as delivered (or refused for good).
bool isAnswer(Verdict verdict)
{
    return verdict == Verdict::accepted || verdict == Verdict::late || verdict == Verdict::rejected;
}

class RandomEndpoint final {
public:
    struct Decision {
        int event;
        Verdict verdict;
    };

    explicit RandomEndpoint(quint32 seed)
        : m_random(seed)
    {
    }

    Reply answer(const test::ScriptedHttpServer::Request& request)
    {
        QMutexLocker locker(&m_mutex);
        const int event = eventOf(request.body);
        const int roll = int(m_random() % 100);
        Verdict verdict;
        if (m_outage)
            verdict = roll < 60 ? Verdict::failed : Verdict::dropped;
        else if (m_healthy)
            verdict = Verdict::accepted;
        else
            verdict = roll < 58 ? Verdict::accepted
                : roll < 70     ? Verdict::rejected
                : roll < 82     ? Verdict::failed
                : roll < 92     ? Verdict::dropped
                : roll < 96     ? Verdict::stalled
                                : Verdict::late;
        m_decisions.append({ event, verdict });
        if (isAnswer(verdict) && event > m_maxDecided)
            m_maxDecided = event;
        switch (verdict) {
        case Verdict::accepted:
            return Reply::withStatus(200);
        case Verdict::late:
            return Reply::withStatus(200, 3 * kTimeout);
        case Verdict::rejected:
            return Reply::withStatus(404);
        case Verdict::failed:
            return Reply::withStatus(500);
        case Verdict::dropped:
            return Reply::dropped();
        case Verdict::stalled:
            break;
        }
        return Reply::stalled();
    }

    void setOutage(bool on)
    {
        QMutexLocker locker(&m_mutex);
        m_outage = on;
    }
    void setHealthy()
    {
        QMutexLocker locker(&m_mutex);
        m_outage = false;
        m_healthy = true;
    }
    int maxDecided() const
    {
        QMutexLocker locker(&m_mutex);
        return m_maxDecided;
    }
    QList<Decision> decisions() const
    {
        QMutexLocker locker(&m_mutex);
        return m_decisions;
    }

private:
    mutable QMutex m_mutex;
    std::mt19937 m_random;
    bool m_outage = false;
    bool m_healthy = false;
    int m_maxDecided = 0;
    QList<Decision> m_decisions;
};

} // namespace

class TestTrackingQueueFaults : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { test::clearProxyVariables(); }
    void deliversEverythingInOrderAcrossRestarts();

private:
    // The file after a restart: it parses, holds at most the capacity, and is a run of
    // consecutive events that ends with the last one enqueued and never moves backwards.
    void checkFile(int lastEnqueued);

    QString m_file;
    int m_fileHead = 0;
};

void TestTrackingQueueFaults::checkFile(int lastEnqueued)
{
    QFile file(m_file);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const auto items = TrackingQueue::decodeItems(file.readAll());
    QVERIFY2(items, "the queue file does not parse");
    QVERIFY(items->size() <= TrackingQueue::maxQueueSize);
    if (items->isEmpty())
        return;
    const int head = eventOf(items->constFirst());
    QVERIFY(head >= m_fileHead);
    m_fileHead = head;
    for (qsizetype i = 0; i < items->size(); ++i)
        QCOMPARE(eventOf(items->at(i)), head + int(i));
    QCOMPARE(eventOf(items->constLast()), lastEnqueued);
}

void TestTrackingQueueFaults::deliversEverythingInOrderAcrossRestarts()
{
    const quint32 seed = qEnvironmentVariableIsSet("VELTRIN_FAULT_SEED")
        ? quint32(qEnvironmentVariableIntValue("VELTRIN_FAULT_SEED"))
        : kDefaultSeed;
    qInfo("seed %u (set VELTRIN_FAULT_SEED to repeat another)", seed);
    std::mt19937 random(seed);
    const auto chance = [&random](int percentTimesTen) { return int(random() % 1000) < percentTimesTen; };

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    m_file = dir.filePath(QStringLiteral("tracking-queue.json"));
    RandomEndpoint endpoint(seed ^ 0x5eedu);
    test::ScriptedHttpServer server;
    server.setResponder([&endpoint](const auto& request) { return endpoint.answer(request); });

    // One outage longer than the capacity, somewhere in the middle.
    const int outageStart = 300 + int(random() % 900);
    const int outageEnd = outageStart + 530 + int(random() % 100);
    const auto makeQueue = [&] {
        return std::make_unique<TrackingQueue>(server.url(), QUrl::fromLocalFile(m_file), kTimeout);
    };

    std::vector<int> maxDecidedAtEnqueue(kEvents + 1, 0);
    auto queue = makeQueue();
    int restarts = 0;
    for (int n = 1; n <= kEvents; ++n) {
        endpoint.setOutage(n >= outageStart && n < outageEnd);
        maxDecidedAtEnqueue[n] = endpoint.maxDecided();
        const QFuture<void> done = queue->enqueue(item(n));
        // Mostly the next event comes when the queue is idle again; sometimes while its delivery
        // loop still runs, and sometimes in a burst before the call itself has run.
        const int pace = int(random() % 100);
        if (pace < 60)
            queue->waitForIdle(); // each request ends within the timeout, so this ends too
        else if (pace < 75)
            QVERIFY2(waitFor(done), qPrintable(QStringLiteral("event %1 never finished").arg(n)));
        if (n % 10 == 0) {
            // Read while the queue may be rewriting it: the replacement is whole or not yet there.
            QFile file(m_file);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(TrackingQueue::decodeItems(file.readAll()), "the queue file does not parse");
        }
        if (chance(15)) {
            queue.reset(); // often with a request in flight or calls still posted
            ++restarts;
            checkFile(n);
            if (QTest::currentTestFailed())
                return;
            queue = makeQueue();
            if (chance(500))
                queue->flush(); // as at a launch
        }
    }

    endpoint.setHealthy();
    for (int attempt = 0; attempt < 20; ++attempt) {
        QVERIFY(waitFor(queue->flush()));
        queue->waitForIdle();
        queue.reset();
        checkFile(kEvents);
        if (QTest::currentTestFailed())
            return;
        queue = makeQueue();
        QFile file(m_file);
        if (file.open(QIODevice::ReadOnly) && file.readAll() == "[]")
            break;
    }
    queue.reset();
    QFile file(m_file);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("[]"));

    // At least once and in order: the first offers and the first answers (200 or 404) each come
    // in increasing event order, and no event appears for the first time after a later one.
    const QList<RandomEndpoint::Decision> decisions = endpoint.decisions();
    std::map<Verdict, int> verdicts;
    std::vector<bool> offered(kEvents + 1, false);
    std::vector<bool> decided(kEvents + 1, false);
    int lastFirstOffer = 0;
    int lastFirstDecision = 0;
    int repeats = 0;
    for (const auto& [event, verdict] : decisions) {
        QVERIFY2(event > 0, "a request body that was never enqueued");
        ++verdicts[verdict];
        if (!offered[event]) {
            QVERIFY2(event > lastFirstOffer,
                qPrintable(QStringLiteral("event %1 first sent after %2").arg(event).arg(lastFirstOffer)));
            offered[event] = true;
            lastFirstOffer = event;
        }
        if (!isAnswer(verdict))
            continue;
        if (decided[event]) {
            ++repeats;
            continue;
        }
        QVERIFY2(event > lastFirstDecision,
            qPrintable(
                QStringLiteral("event %1 first delivered after %2").arg(event).arg(lastFirstDecision)));
        decided[event] = true;
        lastFirstDecision = event;
    }

    // An event may be missing only if the capacity pushed it out: the event 500 places later
    // was enqueued before anything after it had been answered.
    int trimmed = 0;
    for (int n = 1; n <= kEvents; ++n) {
        if (decided[n])
            continue;
        const int pusher = n + int(TrackingQueue::maxQueueSize);
        QVERIFY2(pusher <= kEvents && maxDecidedAtEnqueue[pusher] < n,
            qPrintable(QStringLiteral("event %1 was lost").arg(n)));
        ++trimmed;
    }

    qInfo("%lld requests: %d accepted, %d accepted late, %d rejected, %d failed, %d dropped, %d stalled; "
          "%d restarts, %d answered again, %d trimmed by the capacity (outage at events %d-%d)",
        qlonglong(decisions.size()), verdicts[Verdict::accepted], verdicts[Verdict::late],
        verdicts[Verdict::rejected], verdicts[Verdict::failed], verdicts[Verdict::dropped],
        verdicts[Verdict::stalled], restarts, repeats, trimmed, outageStart, outageEnd - 1);
    // The run did meet every fault it is about.
    QVERIFY(
        verdicts[Verdict::rejected] > 0 && verdicts[Verdict::stalled] > 0 && verdicts[Verdict::dropped] > 0);
    QVERIFY(repeats > 0); // late answers are sent again
    QVERIFY(restarts > 0);
    QVERIFY(trimmed > 0);
}

QTEST_GUILESS_MAIN(TestTrackingQueueFaults)
#include "tst_trackingqueuefaults.moc"
