#include "platform/FirstFrame.h"

#include <QPointer>
#include <QTest>
#include <QWidget>
#include <QWindow>

using namespace veltrin;

namespace {

struct RecreatableWindow final : QWidget {
    void recreate()
    {
        destroy();
        create();
        show();
    }
};

} // namespace

class TestFirstFrame final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void runsOnceAfterTheFirstExposure();
    void workMayRecreateTheNativeWindow();
    void nothingRunsWhenTheContextIsGone();
};

void TestFirstFrame::runsOnceAfterTheFirstExposure()
{
    QWidget window;
    int runs = 0;
    afterFirstFrame(&window, &window, [&] { ++runs; });
    QCOMPARE(runs, 0);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE(runs, 1);
    window.hide();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(50);
    QCOMPARE(runs, 1);
}

// Work such as showing a web view makes Qt destroy and recreate the native window, and with it
// the QWindow that was watched.
void TestFirstFrame::workMayRecreateTheNativeWindow()
{
    RecreatableWindow window;
    QPointer<QWindow> watched;
    int runs = 0;
    afterFirstFrame(&window, &window, [&] {
        ++runs;
        window.recreate();
    });
    watched = window.windowHandle();
    window.show();
    QTRY_COMPARE(runs, 1);
    QTRY_VERIFY(!watched);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(50);
    QCOMPARE(runs, 1);
}

void TestFirstFrame::nothingRunsWhenTheContextIsGone()
{
    QWidget window;
    auto* context = new QObject;
    int runs = 0;
    afterFirstFrame(&window, context, [&] { ++runs; });
    delete context;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(50);
    QCOMPARE(runs, 0);
}

QTEST_MAIN(TestFirstFrame)

#include "tst_firstframe.moc"
