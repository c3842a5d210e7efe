#include "PreviewModuleTestMain.h"
#include "SampleApplication.h"
#include "app/editor/SaveToastView.h"
#include "app/editor/SignatureEditorDetailView.h"
#include "app/onboarding/HelpSheet.h"
#include "app/window/ContentView.h"
#include "store/SignatureService.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace veltrin;

namespace {

// A key press where a user's would go: to the widget that has focus.
bool press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* focus = QApplication::focusWidget();
    if (!focus)
        return false;
    QTest::keyClick(focus, key, modifiers);
    return true;
}

// Tabs forward until focus reaches a widget; false when it comes round without finding it.
bool tabTo(const QWidget* target, int maximumPresses = 30)
{
    for (int i = 0; i < maximumPresses; ++i) {
        if (QApplication::focusWidget() == target)
            return true;
        if (!press(Qt::Key_Tab))
            return false;
    }
    return QApplication::focusWidget() == target;
}

} // namespace

// The road from the first launch to a saved edit, with the keyboard alone, checking where
// focus stands at every step.
class TestKeyboardWalk final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void wholeRoad();
    void ctrlSTakesTheButtonsRoad_data();
    void ctrlSTakesTheButtonsRoad();
};

void TestKeyboardWalk::wholeRoad()
{
    test::SampleApplication sample;
    ContentView* content = sample.content();
    content->setRecomputationDelay(100);
    sample.app().showWindow();
    QVERIFY(QTest::qWaitForWindowActive(sample.window()));

    // Welcome: Continue has focus; Space presses it.
    OnboardingView* onboarding = content->onboardingView();
    QTRY_COMPARE(QApplication::focusWidget(), onboarding->welcomeStep()->continueButton());
    QVERIFY(press(Qt::Key_Space));
    QTRY_VERIFY(!onboarding->isAnimating());
    GrantAccessStep* grant = onboarding->grantAccessStep();
    QVERIFY(grant);
    QTRY_COMPARE(QApplication::focusWidget(), grant->grantAccessButton());

    // The help link, the sheet on "Got it", Escape back to the link.
    QVERIFY(press(Qt::Key_Tab));
    QCOMPARE(QApplication::focusWidget(), grant->helpButton());
    QVERIFY(press(Qt::Key_Space));
    QTRY_VERIFY(grant->helpSheet() && grant->helpSheet()->isVisible());
    QTRY_COMPARE(QApplication::focusWidget(), grant->helpSheet()->gotItButton());
    QVERIFY(press(Qt::Key_Escape));
    QTRY_VERIFY(!grant->helpSheet());
    // A window manager gives activation back to the window under the sheet; offscreen there is none.
    sample.window()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(sample.window()));
    QTRY_COMPARE(QApplication::focusWidget(), grant->helpButton());

    // Back to Grant Access; the fake panel answers with Mail's folder.
    QVERIFY(press(Qt::Key_Backtab));
    QCOMPARE(QApplication::focusWidget(), grant->grantAccessButton());
    QVERIFY(press(Qt::Key_Space));
    QCOMPARE(content->appState(), AppState::loading);
    QVERIFY(content->loadingView()->isAncestorOf(QApplication::focusWidget()));
    QCOMPARE(sample.panel().openCount(), 1);
    sample.panel().choose(QUrl::fromLocalFile(sample.signaturesFolder()));
    QTRY_COMPARE(content->appState(), AppState::list);

    // The list has focus; Down from no selection selects the first row.
    auto* list = sample.window()->findChild<QAbstractItemView*>(QStringLiteral("signatureList"));
    QVERIFY(list);
    QTRY_COMPARE(QApplication::focusWidget(), list);
    QVERIFY(!content->selectedSignature());
    QVERIFY(press(Qt::Key_Down));
    QVERIFY(content->selectedSignature());
    QCOMPARE(content->selectedSignature()->id, content->service().signatures().first().id);
    auto* editor = sample.window()->findChild<SignatureEditorDetailView*>();
    QVERIFY(editor);
    QTRY_VERIFY(!editor->state().isLoading);
    QCOMPARE(QApplication::focusWidget(), list);

    // Tab goes from the theme button past the preview; its web content keeps no Tab.
    auto* themeButton = editor->findChild<QAbstractButton*>(QStringLiteral("themeMenuButton"));
    auto* preview = editor->findChild<QWidget*>(QStringLiteral("previewHost"));
    QVERIFY(themeButton && preview);
    QVERIFY(tabTo(themeButton));
    QVERIFY(press(Qt::Key_Tab));
    QVERIFY2(!preview->isAncestorOf(QApplication::focusWidget()),
        qPrintable(QDebug::toString(QApplication::focusWidget())));
    QVERIFY2(!editor->isAncestorOf(QApplication::focusWidget()),
        qPrintable(QDebug::toString(QApplication::focusWidget())));

    // Tab reaches the picker on its chosen segment; an arrow chooses Code, as in a tab bar.
    auto* previewSegment = editor->findChild<QAbstractButton*>(QStringLiteral("previewSegment"));
    auto* codeSegment = editor->findChild<QAbstractButton*>(QStringLiteral("codeSegment"));
    QVERIFY(previewSegment && codeSegment);
    QVERIFY(tabTo(previewSegment));
    QVERIFY(press(Qt::Key_Right));
    QCOMPARE(editor->state().viewMode, ViewMode::code);
    QCOMPARE(QApplication::focusWidget(), codeSegment);
    auto* code = editor->findChild<QPlainTextEdit*>(QStringLiteral("codeEditor"));
    QVERIFY(code);
    QVERIFY(tabTo(code));
    // Arriving here, a screen reader learns how to get out again.
    const QString description = QAccessible::queryAccessibleInterface(code)->text(QAccessible::Description);
    QVERIFY2(description.contains(QStringLiteral("Ctrl+Tab")), qPrintable(description));
    QVERIFY(press(Qt::Key_End, Qt::ControlModifier));
    QTest::keyClicks(code, QStringLiteral("<p>Typed</p>"));
    QVERIFY(editor->state().htmlDraft.endsWith(QStringLiteral("<p>Typed</p>")));

    // Tab stays a tab character in the code; Ctrl+Shift+Tab and Ctrl+Tab leave it both ways.
    QVERIFY(press(Qt::Key_Tab));
    QVERIFY(editor->state().htmlDraft.endsWith(QStringLiteral("<p>Typed</p>\t")));
    QCOMPARE(QApplication::focusWidget(), code);
    QVERIFY(press(Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier));
    QCOMPARE(QApplication::focusWidget(), codeSegment);
    QVERIFY(press(Qt::Key_Tab));
    QCOMPARE(QApplication::focusWidget(), code);
    QVERIFY(press(Qt::Key_Tab, Qt::ControlModifier));
    auto* save = editor->findChild<QPushButton*>(QStringLiteral("saveButton"));
    QVERIFY(save);
    QCOMPARE(QApplication::focusWidget(), save);
    QVERIFY(editor->state().htmlDraft.endsWith(QStringLiteral("<p>Typed</p>\t")));

    // Mail is open: "Save to Mail" asks first; Cancel has focus, Save is a Tab away.
    sample.running().setRunning(QStringLiteral("com.apple.mail"), 1);
    QVERIFY(press(Qt::Key_Space));
    QTRY_VERIFY(editor->saveConfirmation() && editor->saveConfirmation()->isVisible());
    QMessageBox* confirmation = editor->saveConfirmation();
    QTRY_VERIFY(confirmation->isAncestorOf(QApplication::focusWidget()));
    QCOMPARE(QApplication::focusWidget(), confirmation->defaultButton());
    QPushButton* confirm = nullptr;
    for (QAbstractButton* button : confirmation->buttons())
        if (confirmation->buttonRole(button) == QMessageBox::DestructiveRole)
            confirm = qobject_cast<QPushButton*>(button);
    QVERIFY(confirm);
    QVERIFY(tabTo(confirm, 5));
    QVERIFY(press(Qt::Key_Space));
    QTRY_VERIFY(!editor->saveConfirmation());

    // Saved, announced by the toast; focus stays with the code, not round at the sidebar.
    QVERIFY(editor->state().showingSaveToast);
    auto* toast = editor->findChild<SaveToastView*>();
    QVERIFY(toast);
    QTRY_VERIFY(toast->isVisible());
    QFile file(content->selectedSignature()->filePath.toLocalFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(file.readAll());
    QVERIFY2(written.contains(QStringLiteral("<p>Typed</p>")), qPrintable(written));
    QVERIFY(editor->state().originalBody.endsWith(QStringLiteral("<p>Typed</p>\t")));
    QVERIFY(!save->isEnabled());
    sample.window()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(sample.window()));
    QTRY_COMPARE(QApplication::focusWidget(), code);

    // The help sheet from its key; Escape closes it and focus comes back to the code.
    QVERIFY(press(Qt::Key_F1));
    QTRY_VERIFY(sample.window()->findChild<HelpSheet*>());
    auto* help = sample.window()->findChild<HelpSheet*>();
    QTRY_VERIFY(help->isVisible());
    QTRY_COMPARE(QApplication::focusWidget(), help->gotItButton());
    QVERIFY(press(Qt::Key_Escape));
    QTRY_VERIFY(!sample.window()->findChild<HelpSheet*>());
    sample.window()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(sample.window()));
    QTRY_COMPARE(QApplication::focusWidget(), code);
}

void TestKeyboardWalk::ctrlSTakesTheButtonsRoad_data()
{
    QTest::addColumn<bool>("mailRunning");
    // The confirmation's answer while Mail runs.
    QTest::addColumn<QMessageBox::ButtonRole>("answer");
    QTest::addColumn<bool>("saved");
    // Where focus is when the key is pressed.
    QTest::addColumn<QString>("focus");
    QTest::addRow("Mail closed, in the code") << false << QMessageBox::InvalidRole << true << "code";
    QTest::addRow("Mail closed, in the preview") << false << QMessageBox::InvalidRole << true << "preview";
    QTest::addRow("Mail closed, in the list") << false << QMessageBox::InvalidRole << true << "list";
    QTest::addRow("Mail open, Save") << true << QMessageBox::DestructiveRole << true << "code";
    QTest::addRow("Mail open, Cancel") << true << QMessageBox::RejectRole << false << "code";
}

// File > "Save to Mail" and its Ctrl+S are the button: disabled with it, and asking first while
// Mail runs. The key works wherever focus is in the window.
void TestKeyboardWalk::ctrlSTakesTheButtonsRoad()
{
    QFETCH(bool, mailRunning);
    QFETCH(QMessageBox::ButtonRole, answer);
    QFETCH(bool, saved);
    QFETCH(QString, focus);
    test::SampleApplication sample(test::SampleApplication::Start::folderGranted);
    ContentView* content = sample.content();
    QAction* save = sample.app().saveToMailAction();
    QVERIFY(!save->isEnabled());
    sample.app().showWindow();
    QVERIFY(QTest::qWaitForWindowActive(sample.window()));
    QTRY_COMPARE(content->appState(), AppState::list);
    auto* list = sample.window()->findChild<QAbstractItemView*>(QStringLiteral("signatureList"));
    QTRY_COMPARE(QApplication::focusWidget(), list);
    QVERIFY(press(Qt::Key_Down));
    auto* editor = sample.window()->findChild<SignatureEditorDetailView*>();
    QVERIFY(editor);
    QTRY_VERIFY(!editor->state().isLoading);
    auto* button = editor->findChild<QPushButton*>(QStringLiteral("saveButton"));
    QVERIFY(button);
    const QString path = content->selectedSignature()->filePath.toLocalFile();
    const auto written = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    const QString before = written();

    // Nothing to save: the item is disabled like the button, and the key does nothing.
    sample.running().setRunning(QStringLiteral("com.apple.mail"), mailRunning ? 1 : 0);
    QVERIFY(!button->isEnabled());
    QVERIFY(!save->isEnabled());
    QVERIFY(press(Qt::Key_S, Qt::ControlModifier));
    QVERIFY(!editor->saveConfirmation());
    QCOMPARE(written(), before);

    editor->findChild<QAbstractButton*>(QStringLiteral("codeSegment"))->click();
    auto* code = editor->findChild<QPlainTextEdit*>(QStringLiteral("codeEditor"));
    code->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), code);
    QVERIFY(press(Qt::Key_End, Qt::ControlModifier));
    QTest::keyClicks(code, QStringLiteral("<p>Keyed</p>"));
    QVERIFY(button->isEnabled());
    QVERIFY(save->isEnabled());
    if (focus == u"preview") {
        // The web view takes focus from a click, and must leave the key to the window.
        editor->findChild<QAbstractButton*>(QStringLiteral("previewSegment"))->click();
        auto* preview = editor->findChild<QWidget*>(QStringLiteral("previewHost"));
        QVERIFY(preview);
        const auto clickable = [preview]() -> QWidget* {
            const QList<QWidget*> inner = preview->findChildren<QWidget*>();
            for (QWidget* widget : inner)
                if (widget->isVisible() && (widget->focusPolicy() & Qt::ClickFocus))
                    return widget;
            return nullptr;
        };
        QTRY_VERIFY(clickable());
        clickable()->setFocus(Qt::MouseFocusReason);
        QTRY_VERIFY(preview->isAncestorOf(QApplication::focusWidget()));
    } else if (focus == u"list") {
        list->setFocus(Qt::MouseFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), list);
    }
    QVERIFY(press(Qt::Key_S, Qt::ControlModifier));
    if (mailRunning) {
        QTRY_VERIFY(editor->saveConfirmation() && editor->saveConfirmation()->isVisible());
        QCOMPARE(written(), before);
        QMessageBox* confirmation = editor->saveConfirmation();
        QAbstractButton* chosen = nullptr;
        for (QAbstractButton* choice : confirmation->buttons())
            if (confirmation->buttonRole(choice) == answer)
                chosen = choice;
        QVERIFY(chosen);
        chosen->click();
        QTRY_VERIFY(!editor->saveConfirmation());
    }
    QCOMPARE(written().contains(QStringLiteral("<p>Keyed</p>")), saved);
    QCOMPARE(editor->state().showingSaveToast, saved);
    QCOMPARE(button->isEnabled(), !saved);
    QCOMPARE(save->isEnabled(), !saved);
}

VELTRIN_PREVIEW_MODULE_TEST_MAIN(TestKeyboardWalk)
#include "tst_keyboardwalk.moc"
