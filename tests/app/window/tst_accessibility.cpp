#include "AccessibilityTree.h"
#include "PreviewModuleTestMain.h"
#include "SampleApplication.h"
#include "app/editor/EditorHeader.h"
#include "app/editor/SaveToastView.h"
#include "app/editor/SignatureEditorDetailView.h"
#include "app/look/ElidingLabel.h"
#include "app/onboarding/HelpSheet.h"
#include "app/window/ContentView.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace veltrin;

namespace {

// A window manager gives activation back to the window under a closed sheet; offscreen there
// is none.
bool reactivate(QWidget* window)
{
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

// The states a window goes through on the way from the first launch to an edit, in order.
enum class Stage {
    welcome,
    grantAccess,
    helpSheet,
    loading,
    empty,
    listNothingSelected,
    listPreview,
    listCode
};

// The application over a scratch home folder with Mail's sample signatures, driven forward
// stage by stage the way a user goes.
class Road final {
public:
    Road()
    {
        content()->setRecomputationDelay(100);
        m_sample.app().showWindow();
    }

    QMainWindow* window() const { return m_sample.window(); }
    ContentView* content() const { return m_sample.content(); }
    GrantAccessStep* grantAccessStep() const
    {
        return content()->onboardingView() ? content()->onboardingView()->grantAccessStep() : nullptr;
    }
    HelpSheet* helpSheet() const { return grantAccessStep() ? grantAccessStep()->helpSheet() : nullptr; }
    QAbstractItemView* signatureList() const
    {
        return window()->findChild<QAbstractItemView*>(QStringLiteral("signatureList"));
    }
    SignatureEditorDetailView* editor() const { return window()->findChild<SignatureEditorDetailView*>(); }

    // Goes forward to a stage; false when the road is blocked on the way.
    bool reach(Stage stage)
    {
        if (!QTest::qWaitForWindowActive(window()))
            return false;
        while (m_stage < stage) {
            if (!step())
                return false;
        }
        return true;
    }

private:
    bool step()
    {
        switch (m_stage) {
        case Stage::welcome:
            QTest::mouseClick(content()->onboardingView()->welcomeStep()->continueButton(), Qt::LeftButton);
            if (!QTest::qWaitFor([this] { return !content()->onboardingView()->isAnimating(); }))
                return false;
            m_stage = Stage::grantAccess;
            return true;
        case Stage::grantAccess:
            QTest::mouseClick(grantAccessStep()->helpButton(), Qt::LeftButton);
            if (!QTest::qWaitFor([this] { return helpSheet() && helpSheet()->isVisible(); }))
                return false;
            m_stage = Stage::helpSheet;
            return true;
        case Stage::helpSheet:
            QTest::mouseClick(helpSheet()->gotItButton(), Qt::LeftButton);
            if (!QTest::qWaitFor([this] { return !helpSheet(); }) || !reactivate(window()))
                return false;
            QTest::mouseClick(grantAccessStep()->grantAccessButton(), Qt::LeftButton);
            m_stage = Stage::loading;
            return content()->appState() == AppState::loading;
        case Stage::loading:
            // The folder panel is still open when the state is recomputed.
            m_stage = Stage::empty;
            return QTest::qWaitFor([this] { return content()->appState() == AppState::empty; });
        case Stage::empty:
            m_sample.panel().choose(QUrl::fromLocalFile(m_sample.signaturesFolder()));
            m_stage = Stage::listNothingSelected;
            return QTest::qWaitFor(
                [this] { return content()->appState() == AppState::list && signatureList(); });
        case Stage::listNothingSelected: {
            QAbstractItemView* list = signatureList();
            list->setCurrentIndex(list->model()->index(0, 0));
            m_stage = Stage::listPreview;
            return QTest::qWaitFor([this] { return editor() && !editor()->state().isLoading; });
        }
        case Stage::listPreview: {
            auto* code = editor()->findChild<QAbstractButton*>(QStringLiteral("codeSegment"));
            if (!code)
                return false;
            QTest::mouseClick(code, Qt::LeftButton);
            m_stage = Stage::listCode;
            return editor()->state().viewMode == ViewMode::code;
        }
        case Stage::listCode:
            return false;
        }
        return false;
    }

    test::SampleApplication m_sample;
    Stage m_stage = Stage::welcome;
};

// Where focus should be after the window arrived at a stage; null where nothing is asked.
QWidget* expectedFocus(const Road& road, Stage stage)
{
    switch (stage) {
    case Stage::welcome:
        return road.content()->onboardingView()->welcomeStep()->continueButton();
    case Stage::grantAccess:
        return road.grantAccessStep()->grantAccessButton();
    case Stage::helpSheet:
        return road.helpSheet()->gotItButton();
    case Stage::loading:
        return road.content()->loadingView()->focusProxy();
    case Stage::empty:
        return road.content()->emptyStateView()->rescanButton();
    case Stage::listNothingSelected:
    case Stage::listPreview:
        return road.signatureList();
    case Stage::listCode:
        return nullptr;
    }
    return nullptr;
}

} // namespace

// What a screen reader finds in the window, and where the keyboard stands, in each state.
class TestAccessibility final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void eachStateIsNamedAndFocused_data();
    void eachStateIsNamedAndFocused();
    void symbolOnlyButtonReadsItsMeaning();
    void shortenedTextIsReadWhole();
    void savedToastIsAnnounced();
    void pickerAndThemeMenuReadTheirChoice();
};

void TestAccessibility::eachStateIsNamedAndFocused_data()
{
    QTest::addColumn<Stage>("stage");
    QTest::newRow("welcome") << Stage::welcome;
    QTest::newRow("grant access") << Stage::grantAccess;
    QTest::newRow("help sheet") << Stage::helpSheet;
    QTest::newRow("loading") << Stage::loading;
    QTest::newRow("empty") << Stage::empty;
    QTest::newRow("list, nothing selected") << Stage::listNothingSelected;
    QTest::newRow("list, Preview") << Stage::listPreview;
    QTest::newRow("list, Code") << Stage::listCode;
}

void TestAccessibility::eachStateIsNamedAndFocused()
{
    QFETCH(Stage, stage);
    Road road;
    QVERIFY(road.reach(stage));

    // The loading view goes with the next recomputation; a check that waits must not outlive it.
    if (const QPointer<QWidget> focus = expectedFocus(road, stage)) {
        QTRY_VERIFY2(!focus || QApplication::focusWidget() == focus,
            qPrintable(QStringLiteral("focus is on %1").arg(QDebug::toString(QApplication::focusWidget()))));
        QVERIFY2(focus, "the state changed before focus could be checked");
    }

    // The help sheet is a window of its own, outside the main window's tree.
    QObject* root = stage == Stage::helpSheet ? static_cast<QObject*>(road.helpSheet()) : road.window();
    const QList<test::AccessibleElement> elements = test::accessibleElements(root);
    QVERIFY(std::ranges::count_if(elements, test::isInteractive) > 0);
    const QStringList unnamed = test::unnamedInteractiveElements(root);
    if (!unnamed.isEmpty())
        qInfo().noquote() << "Without a name:\n " << unnamed.join(QStringLiteral("\n  "));
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u'\n')));
}

void TestAccessibility::symbolOnlyButtonReadsItsMeaning()
{
    HelpSheet sheet;
    QAccessibleInterface* close = QAccessible::queryAccessibleInterface(sheet.closeButton());
    QVERIFY(close);
    QVERIFY(sheet.closeButton()->text().isEmpty());
    QCOMPARE(close->role(), QAccessible::PushButton);
    QCOMPARE(close->text(QAccessible::Name), QStringLiteral("Close"));
    QCOMPARE(close->text(QAccessible::Description), sheet.closeButton()->toolTip());
}

void TestAccessibility::shortenedTextIsReadWhole()
{
    const QString path = QStringLiteral("/home/someone/Library/Mail/V11/MailData/Signatures/"
                                        "5A1B2C3D-9F8E-4DAE-B7C6-0123456789AB.mailsignature");
    QWidget window;
    ElidingLabel label(Qt::ElideMiddle, &window);
    label.setFullText(path);
    label.resize(120, label.sizeHint().height());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(label.text() != path);
    QAccessibleInterface* element = QAccessible::queryAccessibleInterface(&label);
    QCOMPARE(element->text(QAccessible::Name), path);

    // Still whole after the text changes.
    label.setFullText(path + QStringLiteral(".old"));
    QCOMPARE(element->text(QAccessible::Name), path + QStringLiteral(".old"));
}

namespace {

QList<std::pair<QAccessible::Event, QObject*>> g_events;

void recordEvent(QAccessibleEvent* event)
{
    g_events.append({ event->type(), event->object() });
}

} // namespace

void TestAccessibility::savedToastIsAnnounced()
{
    QWidget editor;
    editor.resize(600, 400);
    auto* toast = new SaveToastView(&editor);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));

    QAccessibleInterface* element = QAccessible::queryAccessibleInterface(toast);
    QVERIFY(element);
    QCOMPARE(element->role(), QAccessible::AlertMessage);
    QCOMPARE(element->text(QAccessible::Name), QStringLiteral("Signature saved"));

    g_events.clear();
    QAccessible::installUpdateHandler(recordEvent);
    const auto restore = qScopeGuard([] { QAccessible::installUpdateHandler(nullptr); });
    if (!QAccessible::isActive())
        QSKIP("this platform delivers no accessibility events");
    toast->present();
    QVERIFY(g_events.contains(std::pair { QAccessible::Alert, static_cast<QObject*>(toast) }));
}

void TestAccessibility::pickerAndThemeMenuReadTheirChoice()
{
    EditorHeader header;
    QSignalSpy chosen(&header, &EditorHeader::viewModeChosen);
    const auto segment = [&header](const char* name) {
        return QAccessible::queryAccessibleInterface(header.findChild<QAbstractButton*>(QLatin1String(name)));
    };
    QAccessibleInterface* preview = segment("previewSegment");
    QAccessibleInterface* code = segment("codeSegment");
    QVERIFY(preview && code);
    QCOMPARE(preview->role(), QAccessible::RadioButton);
    QCOMPARE(code->role(), QAccessible::RadioButton);
    QCOMPARE(preview->text(QAccessible::Name), QStringLiteral("Preview"));
    QCOMPARE(code->text(QAccessible::Name), QStringLiteral("Code"));
    QVERIFY(preview->state().checked && !code->state().checked);
    header.setViewMode(ViewMode::code);
    QVERIFY(!preview->state().checked && code->state().checked);
    QVERIFY(code->actionInterface());
    code->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.first().first().value<ViewMode>(), ViewMode::code);

    // The theme button reads the current theme; the menu checks it and nothing else.
    header.setViewMode(ViewMode::view);
    auto* button = header.findChild<QToolButton*>(QStringLiteral("themeMenuButton"));
    QVERIFY(button);
    QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(button->menu());
    QVERIFY(menu);
    for (PreviewTheme theme : { PreviewTheme::dark, PreviewTheme::light, PreviewTheme::system }) {
        header.setPreviewTheme(theme);
        QCOMPARE(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name), rawValue(theme));
        QCOMPARE(menu->childCount(), int(allPreviewThemes().size()));
        for (int i = 0; i < menu->childCount(); ++i) {
            QAccessibleInterface* item = menu->child(i);
            QCOMPARE(item->role(), QAccessible::MenuItem);
            QVERIFY(item->state().checkable);
            QCOMPARE(item->state().checked, item->text(QAccessible::Name) == rawValue(theme));
        }
    }
    // Choosing the current theme again keeps it checked.
    button->menu()->actions().at(int(allPreviewThemes().indexOf(PreviewTheme::system)))->trigger();
    QVERIFY(menu->child(int(allPreviewThemes().indexOf(PreviewTheme::system)))->state().checked);
}

VELTRIN_PREVIEW_MODULE_TEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
