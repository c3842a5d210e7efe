#include "FakeFileAttributes.h"
#include "ScriptedFileOperations.h"
#include "FakeFolderPanel.h"
#include "FakeRunningApplications.h"
#include "app/onboarding/HelpSheet.h"
#include "app/window/CheckForUpdatesCommand.h"
#include "app/window/ContentView.h"
#include "app/window/EditCommands.h"
#include "app/window/Updater.h"
#include "app/window/VeltrinApp.h"
#include "platform/BundleInfo.h"
#include "platform/FolderAccess.h"
#include "platform/Preferences.h"
#include "platform/UpdateFramework.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace veltrin;

namespace {

class NoFolderAccess final : public FolderAccess {
public:
    std::expected<QByteArray, Error> bookmarkData(const QUrl&) override { return std::unexpected(Error {}); }
    std::expected<ResolvedBookmark, Error> resolveBookmark(const QByteArray&) override
    {
        return std::unexpected(Error {});
    }
    bool startAccessing(const QUrl&) override { return false; }
    void stopAccessing(const QUrl&) override { }
};

class ReadyUpdateFramework final : public UpdateFramework {
public:
    bool canCheckForUpdates() const override { return true; }
    void checkForUpdates() override { }
};

struct Services {
    QTemporaryDir home;
    SettingsPreferences preferences { home.filePath(QStringLiteral("preferences.ini")) };
    NoFolderAccess folderAccess;
    test::FakeFolderPanel panel;
    test::FakeRunningApplications running;
    test::FakeFileAttributes attributes;
    test::ScriptedFileOperations files;
    QStringList events;

    VeltrinApp::Services forApp()
    {
        return {
            .preferences = preferences,
            .folderAccess = folderAccess,
            .folderPanel = panel,
            .runningApplications = running,
            .fileAttributes = attributes,
            .files = files,
            .homeFolder = home.path(),
            .startTelemetry = [this] { events.append(windowsNow(QStringLiteral("telemetry"))); },
            .makeUpdater =
                [this] {
                    events.append(windowsNow(QStringLiteral("updater")));
                    if (localUpdater)
                        return std::make_unique<Updater>();
                    return std::make_unique<Updater>(std::make_unique<ReadyUpdateFramework>());
                },
        };
    }

    bool localUpdater = false;

    static QString windowsNow(const QString& event)
    {
        return event + QStringLiteral(":%1").arg(QApplication::topLevelWidgets().size());
    }
};

QStringList texts(const QMenu* menu)
{
    QStringList result;
    const QList<QAction*> actions = menu->actions();
    for (const QAction* action : actions)
        result.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    return result;
}

QStringList enabledItems(const EditCommands& edit)
{
    QStringList result;
    for (QAction* action : { edit.undoAction(), edit.redoAction(), edit.cutAction(), edit.copyAction(),
             edit.pasteAction(), edit.selectAllAction() }) {
        if (action->isEnabled())
            result.append(action->text());
    }
    return result;
}

} // namespace

class TestVeltrinApp final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void telemetryStartsFirstThenTheUpdaterThenTheWindow();
    void menusHoldTheUpdateCommandAfterAboutAndNoNewItem();
    void windowCannotShrinkBelowTheContentMinimum();
    void standardMenusWithMnemonicsAndShortcuts();
    void eachMenuOpensByAMnemonicOfItsOwn_data();
    void eachMenuOpensByAMnemonicOfItsOwn();
    void editCommandsActOnTheFocusedText();
    void editCommandsReachAParentThatOffersThem();
    void viewAndWindowCommandsChangeTheWindow();
    void helpOpensTheHelpSheetOverTheWindow();
    void aboutBoxShowsIconNameVersionAndBuild();
    void updateMessageBelongsToTheWindow();
    void windowCarriesTheApplicationsIdentity();
    void windowComesForwardWhenAskedFor();
};

void TestVeltrinApp::telemetryStartsFirstThenTheUpdaterThenTheWindow()
{
    Services services;
    VeltrinApp app(services.forApp());
    QCOMPARE(services.events, (QStringList { QStringLiteral("telemetry:0"), QStringLiteral("updater:0") }));
    QVERIFY(app.window());
    QVERIFY(qobject_cast<ContentView*>(app.window()->centralWidget()));
    QCOMPARE(app.contentView()->appState(), AppState::onboarding);
}

void TestVeltrinApp::menusHoldTheUpdateCommandAfterAboutAndNoNewItem()
{
    Services services;
    VeltrinApp app(services.forApp());
    QCOMPARE(texts(app.applicationMenu()),
        (QStringList { QStringLiteral("About Veltrin"), QStringLiteral("Check for Updates\u2026"),
            QStringLiteral("-"), QStringLiteral("Quit Veltrin") }));
    QCOMPARE(app.applicationMenu()->actions().at(1), app.checkForUpdatesCommand());
    QVERIFY(app.checkForUpdatesCommand()->isEnabled());

    const QList<QAction*> menus = app.window()->menuBar()->actions();
    QCOMPARE(menus.at(1)->text(), QStringLiteral("&File"));
    const QStringList fileItems = texts(app.fileMenu());
    for (const QString& item : fileItems) {
        QVERIFY2(!item.startsWith(QStringLiteral("New")), qPrintable(item));
        QVERIFY2(!item.contains(QStringLiteral("Settings")) && !item.contains(QStringLiteral("Preferences")),
            qPrintable(item));
    }
}

void TestVeltrinApp::windowCannotShrinkBelowTheContentMinimum()
{
    Services services;
    VeltrinApp app(services.forApp());
    app.showWindow();
    QVERIFY(app.window()->isVisible());
    QCOMPARE(app.window()->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    app.window()->resize(300, 200);
    QCoreApplication::processEvents();
    QVERIFY(app.contentView()->width() >= 900);
    QVERIFY(app.contentView()->height() >= 600);
    app.window()->resize(1600, 1000);
    QTRY_VERIFY(app.contentView()->width() > 900);
}

void TestVeltrinApp::standardMenusWithMnemonicsAndShortcuts()
{
    Services services;
    VeltrinApp app(services.forApp());
    QStringList titles;
    const QList<QAction*> menus = app.window()->menuBar()->actions();
    for (const QAction* menu : menus)
        titles.append(menu->text());
    QCOMPARE(titles,
        (QStringList { QStringLiteral("Vel&trin"), QStringLiteral("&File"), QStringLiteral("&Edit"),
            QStringLiteral("&View"), QStringLiteral("&Window"), QStringLiteral("&Help") }));

    QCOMPARE(
        texts(app.fileMenu()), (QStringList { QStringLiteral("Save to Mail"), QStringLiteral("Close") }));
    QCOMPARE(texts(app.editMenu()),
        (QStringList { QStringLiteral("Undo"), QStringLiteral("Redo"), QStringLiteral("-"),
            QStringLiteral("Cut"), QStringLiteral("Copy"), QStringLiteral("Paste"),
            QStringLiteral("Select All") }));
    QCOMPARE(texts(app.viewMenu()), QStringList { QStringLiteral("Enter Full Screen") });
    QCOMPARE(texts(app.windowMenu()), (QStringList { QStringLiteral("Minimize"), QStringLiteral("Zoom") }));
    QCOMPARE(texts(app.helpMenu()), QStringList { QStringLiteral("Veltrin Help") });

    const EditCommands& edit = *app.editCommands();
    QCOMPARE(edit.undoAction()->shortcut(), QKeySequence(QKeySequence::Undo));
    QCOMPARE(edit.redoAction()->shortcut(), QKeySequence(QKeySequence::Redo));
    QCOMPARE(edit.cutAction()->shortcut(), QKeySequence(QKeySequence::Cut));
    QCOMPARE(edit.copyAction()->shortcut(), QKeySequence(QKeySequence::Copy));
    QCOMPARE(edit.pasteAction()->shortcut(), QKeySequence(QKeySequence::Paste));
    QCOMPARE(edit.selectAllAction()->shortcut(), QKeySequence(QKeySequence::SelectAll));
    QCOMPARE(app.fullScreenAction()->shortcut(), QKeySequence(QKeySequence::FullScreen));
    QCOMPARE(app.saveToMailAction(), app.fileMenu()->actions().first());
    QCOMPARE(app.saveToMailAction()->shortcut(), QKeySequence(QKeySequence::Save));
    QCOMPARE(app.closeAction(), app.fileMenu()->actions().last());
    QCOMPARE(app.closeAction()->shortcut(), QKeySequence(QKeySequence::Close));
    QCOMPARE(app.helpMenu()->actions().first()->shortcut(), QKeySequence(QKeySequence::HelpContents));
}

void TestVeltrinApp::eachMenuOpensByAMnemonicOfItsOwn_data()
{
    QTest::addColumn<int>("menu");
    QTest::addColumn<QChar>("key");
    QTest::addRow("application") << 0 << QChar(u't');
    QTest::addRow("file") << 1 << QChar(u'f');
    QTest::addRow("edit") << 2 << QChar(u'e');
    QTest::addRow("view") << 3 << QChar(u'v');
    QTest::addRow("window") << 4 << QChar(u'w');
    QTest::addRow("help") << 5 << QChar(u'h');
}

// Alt and the underlined letter opens that menu and no other; inside it, no two items share a letter.
void TestVeltrinApp::eachMenuOpensByAMnemonicOfItsOwn()
{
    QFETCH(int, menu);
    QFETCH(QChar, key);
    Services services;
    VeltrinApp app(services.forApp());
    app.showWindow();
    QVERIFY(QTest::qWaitForWindowActive(app.window()));

    const auto mnemonic
        = [](const QAction* action) { return QKeySequence::mnemonic(action->text()).toString().toLower(); };
    const QList<QAction*> titles = app.window()->menuBar()->actions();
    QStringList keys;
    for (const QAction* title : titles)
        keys << mnemonic(title);
    QCOMPARE(keys.count(QStringLiteral("alt+") + key), 1);
    QCOMPARE(mnemonic(titles.at(menu)), QStringLiteral("alt+") + key);

    QMenu* opened = titles.at(menu)->menu();
    QStringList itemKeys;
    const QList<QAction*> items = opened->actions();
    for (const QAction* item : items)
        if (const QString itemKey = mnemonic(item); !itemKey.isEmpty())
            itemKeys << itemKey;
    itemKeys.removeDuplicates();
    QCOMPARE(itemKeys.size(), std::count_if(items.begin(), items.end(), [&](const QAction* item) {
        return !mnemonic(item).isEmpty();
    }));

    QTest::keyClick(app.window(), key.toLatin1(), Qt::AltModifier);
    QTRY_COMPARE(QApplication::activePopupWidget(), opened);
    QTest::keyClick(opened, Qt::Key_Escape);
    QTRY_VERIFY(!QApplication::activePopupWidget());
}

void TestVeltrinApp::editCommandsActOnTheFocusedText()
{
    Services services;
    VeltrinApp app(services.forApp());
    app.showWindow();
    QVERIFY(QTest::qWaitForWindowActive(app.window()));
    EditCommands& edit = *app.editCommands();
    QGuiApplication::clipboard()->clear();

    // Stand-ins for the code editor and a text field, placed in the window.
    auto* code = new QPlainTextEdit(app.contentView());
    auto* field = new QLineEdit(app.contentView());
    code->show();
    field->show();

    code->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), code);
    QCOMPARE(enabledItems(edit), QStringList { QStringLiteral("Select All") });

    QTest::keyClicks(code, QStringLiteral("<p>hi</p>"));
    QCOMPARE(enabledItems(edit), (QStringList { QStringLiteral("Undo"), QStringLiteral("Select All") }));
    edit.selectAllAction()->trigger();
    QVERIFY(code->textCursor().hasSelection());
    QCOMPARE(enabledItems(edit),
        (QStringList { QStringLiteral("Undo"), QStringLiteral("Cut"), QStringLiteral("Copy"),
            QStringLiteral("Select All") }));
    edit.cutAction()->trigger();
    QCOMPARE(code->toPlainText(), QString());
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("<p>hi</p>"));
    QVERIFY(edit.pasteAction()->isEnabled());
    edit.pasteAction()->trigger();
    edit.pasteAction()->trigger();
    QCOMPARE(code->toPlainText(), QStringLiteral("<p>hi</p><p>hi</p>"));
    edit.undoAction()->trigger();
    QCOMPARE(code->toPlainText(), QStringLiteral("<p>hi</p>"));
    QVERIFY(edit.redoAction()->isEnabled());
    edit.redoAction()->trigger();
    QCOMPARE(code->toPlainText(), QStringLiteral("<p>hi</p><p>hi</p>"));

    // The commands follow the focus, and a read-only text offers only what leaves it unchanged.
    field->setText(QStringLiteral("name"));
    field->setReadOnly(true);
    field->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), field);
    QCOMPARE(enabledItems(edit), QStringList { QStringLiteral("Select All") });
    edit.selectAllAction()->trigger();
    QCOMPARE(field->selectedText(), QStringLiteral("name"));
    QCOMPARE(enabledItems(edit), (QStringList { QStringLiteral("Copy"), QStringLiteral("Select All") }));
    edit.pasteAction()->trigger();
    QCOMPARE(field->text(), QStringLiteral("name"));

    // Nothing that takes text has the focus: nothing to act on.
    field->clearFocus();
    app.window()->setFocus();
    QTRY_VERIFY(!qobject_cast<QLineEdit*>(QApplication::focusWidget()));
    QCOMPARE(enabledItems(edit), QStringList());
}

namespace {

// A view whose inner widget takes the focus, as a web view's does; only the view can copy.
class CopyingView final : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;
    int copies = 0;

public Q_SLOTS:
    void copy() { ++copies; }
};

} // namespace

void TestVeltrinApp::editCommandsReachAParentThatOffersThem()
{
    Services services;
    VeltrinApp app(services.forApp());
    app.showWindow();
    QVERIFY(QTest::qWaitForWindowActive(app.window()));
    auto* view = new CopyingView(app.contentView());
    auto* inner = new QWidget(view);
    inner->setFocusPolicy(Qt::StrongFocus);
    view->show();
    inner->show();
    inner->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), inner);

    const EditCommands& edit = *app.editCommands();
    QCOMPARE(enabledItems(edit), QStringList { QStringLiteral("Copy") });
    edit.copyAction()->trigger();
    QCOMPARE(view->copies, 1);
}

void TestVeltrinApp::viewAndWindowCommandsChangeTheWindow()
{
    Services services;
    VeltrinApp app(services.forApp());
    app.showWindow();
    QVERIFY(QTest::qWaitForWindowExposed(app.window()));

    app.fullScreenAction()->trigger();
    QTRY_VERIFY(app.window()->isFullScreen());
    QCOMPARE(app.fullScreenAction()->text(), QStringLiteral("Exit Full Screen"));
    app.fullScreenAction()->trigger();
    QTRY_VERIFY(!app.window()->isFullScreen());
    QCOMPARE(app.fullScreenAction()->text(), QStringLiteral("Enter Full Screen"));

    app.windowMenu()->actions().at(1)->trigger();
    QTRY_VERIFY(app.window()->isMaximized());
    app.windowMenu()->actions().at(1)->trigger();
    QTRY_VERIFY(!app.window()->isMaximized());
    app.windowMenu()->actions().at(0)->trigger();
    QTRY_VERIFY(app.window()->isMinimized());
}

void TestVeltrinApp::helpOpensTheHelpSheetOverTheWindow()
{
    Services services;
    VeltrinApp app(services.forApp());
    app.showWindow();
    app.helpMenu()->actions().first()->trigger();
    QPointer<HelpSheet> sheet = app.helpSheet();
    QVERIFY(sheet);
    QTRY_VERIFY(sheet->isVisible());
    QCOMPARE(sheet->parentWidget(), app.window());
    // Chosen again, the one sheet comes forward.
    app.helpMenu()->actions().first()->trigger();
    QCOMPARE(app.helpSheet(), sheet.data());
    QCOMPARE(app.window()->findChildren<HelpSheet*>().size(), 1);
    sheet->gotItButton()->click();
    QTRY_VERIFY(!sheet);
}

void TestVeltrinApp::aboutBoxShowsIconNameVersionAndBuild()
{
    Services services;
    VeltrinApp app(services.forApp());
    app.showWindow();
    app.applicationMenu()->actions().first()->trigger();
    QDialog* box = app.aboutBox();
    QVERIFY(box);
    QTRY_VERIFY(box->isVisible());
    QCOMPARE(box->parentWidget(), app.window());
    const BundleInfo bundle = BundleInfo::current();
    QVERIFY(!box->findChild<QLabel*>(QStringLiteral("icon"))->pixmap().isNull());
    QCOMPARE(box->findChild<QLabel*>(QStringLiteral("name"))->text(), QStringLiteral("Veltrin"));
    const QString version = box->findChild<QLabel*>(QStringLiteral("version"))->text();
    QVERIFY2(version.contains(bundle.shortVersion) && version.contains(bundle.version), qPrintable(version));
    QVERIFY(box->width() >= 320);
    QVERIFY(box->height() >= 200);
}

void TestVeltrinApp::updateMessageBelongsToTheWindow()
{
    Services services;
    services.localUpdater = true;
    VeltrinApp app(services.forApp());
    app.showWindow();
    QVERIFY(QTest::qWaitForWindowExposed(app.window()));
    app.checkForUpdatesCommand()->trigger();
    const auto shownMessage = []() -> QMessageBox* {
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget* window : windows) {
            auto* box = qobject_cast<QMessageBox*>(window);
            if (box && box->isVisible())
                return box;
        }
        return nullptr;
    };
    QTRY_VERIFY(shownMessage() != nullptr);
    QMessageBox* message = shownMessage();
    QCOMPARE(message ? message->parentWidget() : nullptr, app.window());

    // With its window closed, the application ends although the message is still open.
    QTimer::singleShot(0, app.window(), &QWidget::close);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [] { QCoreApplication::exit(1); });
    watchdog.start(20000);
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(watchdog.isActive());
}

void TestVeltrinApp::windowCarriesTheApplicationsIdentity()
{
    Services services;
    VeltrinApp app(services.forApp());
    QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("org.veltrin.Veltrin"));
    app.showWindow();
    QTRY_VERIFY(!app.window()->windowIcon().isNull());
    QVERIFY(!app.window()->windowIcon().pixmap(QSize(48, 48)).isNull());
    QVERIFY(!VeltrinApp::icon().pixmap(QSize(256, 256)).isNull());
}

void TestVeltrinApp::windowComesForwardWhenAskedFor()
{
    Services services;
    VeltrinApp app(services.forApp());
    app.showWindow();
    QVERIFY(QTest::qWaitForWindowExposed(app.window()));
    QWidget other;
    other.show();
    other.activateWindow();
    QTRY_VERIFY(other.isActiveWindow());
    app.window()->showMinimized();
    QTRY_VERIFY(app.window()->isMinimized());

    app.bringWindowForward();
    QTRY_VERIFY(!app.window()->isMinimized());
    QVERIFY(app.window()->isVisible());
    QTRY_VERIFY(app.window()->isActiveWindow());
}

QTEST_MAIN(TestVeltrinApp)
#include "tst_veltrinapp.moc"
