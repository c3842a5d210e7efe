#include "app/editor/PreviewHost.h"
#include "app/editor/PreviewModule.h"

#include "PreviewModuleTestMain.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace veltrin;

namespace {

// The module's views, found by class: this executable does not link the web engine.
QList<QWidget*> webViews()
{
    QList<QWidget*> views;
    for (QWidget* widget : QApplication::allWidgets())
        if (widget->inherits("QWebEngineView"))
            views.append(widget);
    return views;
}

qint64 pageProcess(QWidget* view)
{
    for (QObject* child : view->children())
        if (child->inherits("QWebEnginePage"))
            return child->property("renderProcessPid").toLongLong();
    return 0;
}

} // namespace

// Once the module loads after the first frame, the engine's page process runs before any
// signature is chosen, and the first preview is the view that waited with it.
class TestPreviewWarmUp final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstPreviewTakesTheWarmView();
};

void TestPreviewWarmUp::firstPreviewTakesTheWarmView()
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    window.resize(500, 400);
    // As the application does: asked before the window is shown, done once it is drawn.
    PreviewModule::loadAfterFirstShow(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE_WITH_TIMEOUT(webViews().size(), 1, 10000);
    QWidget* spare = webViews().first();
    QVERIFY(!spare->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(pageProcess(spare) > 0, 20000);

    auto* first = new PreviewHost(&window);
    layout->addWidget(first);
    QSignalSpy loaded(first, &PreviewHost::loadFinished);
    first->updatePage(u"<p>first</p>"_qs, ColorScheme::light);
    QVERIFY(first->preview());
    QCOMPARE(first->preview()->widget(), spare);
    QVERIFY(loaded.wait(20000));
    QVERIFY(loaded.last().at(0).toBool());
    QTRY_VERIFY(spare->isVisible());

    // Later previews are made as before.
    auto* second = new PreviewHost(&window);
    layout->addWidget(second);
    second->updatePage(u"<p>second</p>"_qs, ColorScheme::dark);
    QVERIFY(second->preview() && second->preview()->widget() != spare);
    QCOMPARE(webViews().size(), 2);
}

VELTRIN_PREVIEW_MODULE_TEST_MAIN(TestPreviewWarmUp)

#include "tst_previewwarmup.moc"
