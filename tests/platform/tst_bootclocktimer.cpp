#include "platform/BootClockTimer.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

using namespace veltrin;
using namespace std::chrono_literals;
using std::chrono::milliseconds;

class TestBootClockTimer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firesOnceAtTheDeadline_data();
    void firesOnceAtTheDeadline();
    void laterDeadlineReplacesTheFirst();
    void disarmedAfterExpiryStaysQuiet();
    void clockIsTheTimeSinceBoot();
    void threadSleepsUntilTheDeadline();
};

void TestBootClockTimer::firesOnceAtTheDeadline_data()
{
    QTest::addColumn<milliseconds>("offset"); // from now
    QTest::addColumn<bool>("fromClockStart"); // the deadline is the clock's start itself
    QTest::addRow("ahead") << milliseconds(150ms) << false;
    QTest::addRow("now") << milliseconds(0ms) << false;
    QTest::addRow("passed") << milliseconds(-1000ms) << false;
    QTest::addRow("at the clock's start") << milliseconds(0ms) << true;
}

void TestBootClockTimer::firesOnceAtTheDeadline()
{
    QFETCH(milliseconds, offset);
    QFETCH(bool, fromClockStart);
    BootClockTimer timer;
    QVERIFY(timer.isValid());
    const milliseconds deadline = fromClockStart ? 0ms : timer.now() + offset;
    milliseconds firedAt {};
    connect(&timer, &ContinuousTimer::timeout, this, [&] { firedAt = timer.now(); });
    QSignalSpy fired(&timer, &ContinuousTimer::timeout);
    timer.arm(deadline);

    QVERIFY(fired.wait(10000));
    QVERIFY2(firedAt >= deadline, "fired before its deadline");
    QTest::qWait(300);
    QCOMPARE(fired.count(), 1);
}

void TestBootClockTimer::laterDeadlineReplacesTheFirst()
{
    BootClockTimer timer;
    QSignalSpy fired(&timer, &ContinuousTimer::timeout);
    milliseconds firedAt {};
    connect(&timer, &ContinuousTimer::timeout, this, [&] { firedAt = timer.now(); });
    timer.arm(timer.now() + 50ms);
    const milliseconds later = timer.now() + 400ms;
    timer.arm(later);

    QVERIFY(fired.wait(10000));
    QVERIFY(firedAt >= later);
    QTest::qWait(200);
    QCOMPARE(fired.count(), 1);
}

// The deadline passes while the thread is busy, so the descriptor is readable when disarm() comes.
void TestBootClockTimer::disarmedAfterExpiryStaysQuiet()
{
    BootClockTimer timer;
    QSignalSpy fired(&timer, &ContinuousTimer::timeout);
    timer.arm(timer.now() + 10ms);
    QThread::msleep(60);
    timer.disarm();
    QTest::qWait(300);
    QCOMPARE(fired.count(), 0);

    timer.arm(timer.now() + 10ms); // still usable
    QVERIFY(fired.wait(10000));
}

// /proc/uptime counts from boot, suspended time included.
void TestBootClockTimer::clockIsTheTimeSinceBoot()
{
    QFile uptime(QStringLiteral("/proc/uptime"));
    QVERIFY(uptime.open(QIODevice::ReadOnly));
    const BootClockTimer timer;
    const milliseconds before = timer.now();
    const double seconds = uptime.readLine().split(' ').value(0).toDouble();
    const milliseconds after = timer.now();
    const auto boot = milliseconds(qint64(seconds * 1000));
    // /proc/uptime has a resolution of 10 ms.
    QVERIFY2(boot >= before - 20ms && boot <= after + 20ms,
        qPrintable(QStringLiteral("uptime %1 ms, clock %2 ms").arg(boot.count()).arg(before.count())));
}

// One wake for the deadline (and one for the test's own guard), not a look at the clock now and
// then.
void TestBootClockTimer::threadSleepsUntilTheDeadline()
{
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    QVERIFY(dispatcher);
    BootClockTimer timer;
    QSignalSpy fired(&timer, &ContinuousTimer::timeout);
    int wakes = 0;
    connect(dispatcher, &QAbstractEventDispatcher::awake, this, [&wakes] { ++wakes; });
    QElapsedTimer elapsed;
    elapsed.start();
    timer.arm(timer.now() + 2000ms);

    QVERIFY(fired.wait(15000));
    QVERIFY(elapsed.elapsed() >= 1900);
    QVERIFY2(wakes <= 4, qPrintable(QStringLiteral("%1 wakes in 2 s").arg(wakes)));
}

QTEST_GUILESS_MAIN(TestBootClockTimer)
#include "tst_bootclocktimer.moc"
