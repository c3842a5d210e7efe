#include "FakeFolderPanel.h"
#include "FakeRunningApplications.h"
#include "app/window/CheckForUpdatesCommand.h"
#include "app/window/ContentView.h"
#include "app/window/Updater.h"
#include "app/window/VeltrinApp.h"
#include "platform/FolderAccess.h"
#include "platform/Preferences.h"
#include "platform/UpdateFramework.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>

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
    QStringList events;

    VeltrinApp::Services forApp()
    {
        return {
            .preferences = preferences,
            .folderAccess = folderAccess,
            .folderPanel = panel,
            .runningApplications = running,
            .homeFolder = home.path(),
            .startTelemetry = [this] { events.append(windowsNow(QStringLiteral("telemetry"))); },
            .makeUpdater =
                [this] {
                    events.append(windowsNow(QStringLiteral("updater")));
                    return std::make_unique<Updater>(std::make_unique<ReadyUpdateFramework>());
                },
        };
    }

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

} // namespace

class TestVeltrinApp final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void telemetryStartsFirstThenTheUpdaterThenTheWindow();
    void menusHoldTheUpdateCommandAfterAboutAndNoNewItem();
    void windowCannotShrinkBelowTheContentMinimum();
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
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus.at(1)->text(), QStringLiteral("File"));
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

QTEST_MAIN(TestVeltrinApp)
#include "tst_veltrinapp.moc"
