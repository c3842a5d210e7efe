#include "FakeAppearance.h"
#include "PreviewModuleTestMain.h"
#include "SampleApplication.h"
#include "TestSupport.h"
#include "app/editor/PreviewHost.h"
#include "app/editor/SignatureEditorDetailView.h"
#include "app/look/AppearancePalette.h"
#include "app/look/Symbols.h"
#include "app/sidebar/SplitEditorView.h"

#include <QAbstractButton>
#include <QListView>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>

using namespace veltrin;

// Pictures of the whole window over the sample signatures, in light, in dark, and after a live
// switch, for a person to look at. Runs only when VELTRIN_SCREENSHOTS names a folder.
class TestWindowScreenshots final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void window_data();
    void window();

private:
    QDir m_folder;
};

void TestWindowScreenshots::initTestCase()
{
    const std::optional<QDir> folder = test::requestedScreenshotDir();
    if (!folder)
        QSKIP("set VELTRIN_SCREENSHOTS to a folder to write the pictures");
    m_folder = *folder;
    Symbols::chooseIconTheme();
}

void TestWindowScreenshots::window_data()
{
    QTest::addColumn<ColorScheme>("scheme");
    QTest::addRow("light") << ColorScheme::light;
    QTest::addRow("dark") << ColorScheme::dark;
}

void TestWindowScreenshots::window()
{
    QFETCH(ColorScheme, scheme);
    const QString prefix = m_folder.filePath(u"window-"_qs + QString::fromLatin1(QTest::currentDataTag()));
    test::FakeAppearance appearance(scheme);
    AppearancePalette palette(appearance);
    test::SampleApplication sample;
    sample.window()->resize(1100, 700);
    sample.app().showWindow();
    QVERIFY(QTest::qWaitForWindowExposed(sample.window()));
    const auto save = [&](const QString& suffix) {
        QApplication::processEvents();
        QVERIFY(sample.window()->grab().save(prefix + u'-' + suffix + u".png"));
    };
    save(u"onboarding"_qs);

    sample.content()->loadSignatures();
    QTRY_COMPARE(sample.panel().requestCount(), 1);
    sample.panel().choose(QUrl::fromLocalFile(sample.signaturesFolder()));
    QTRY_VERIFY(sample.content()->splitEditorView());
    auto* list = sample.content()->splitEditorView()->findChild<QListView*>();
    QVERIFY(list);
    QTRY_VERIFY(list->model()->rowCount() > 0);
    save(u"list"_qs);

    list->setCurrentIndex(list->model()->index(list->model()->rowCount() - 1, 0));
    auto* host = sample.window()->findChild<PreviewHost*>();
    QVERIFY(host);
    QSignalSpy loaded(host, &PreviewHost::loadFinished);
    QVERIFY(loaded.wait(30000));
    // The web engine paints a moment after its load; nothing signals that paint.
    QTest::qWait(500);
    save(u"preview"_qs);

    auto* code = sample.window()->findChild<QAbstractButton*>(u"codeSegment"_qs);
    QVERIFY(code);
    code->click();
    auto* editor = sample.window()->findChild<QPlainTextEdit*>();
    QVERIFY(editor);
    editor->setFocus();
    QTest::keyClicks(editor, u" "_qs);
    save(u"code"_qs);

    // The File menu from its mnemonic, "Save to Mail" enabled by the edit.
    QTest::keyClick(sample.window(), Qt::Key_F, Qt::AltModifier);
    QTRY_VERIFY(QApplication::activePopupWidget());
    QApplication::processEvents();
    QVERIFY(QApplication::activePopupWidget()->grab().save(prefix + u"-file-menu.png"));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    QTRY_VERIFY(!QApplication::activePopupWidget());

    appearance.setColorScheme(scheme == ColorScheme::dark ? ColorScheme::light : ColorScheme::dark);
    save(u"code-after-switch"_qs);
}

VELTRIN_PREVIEW_MODULE_TEST_MAIN(TestWindowScreenshots)
#include "tst_windowscreenshots.moc"
