#include "FakeFolderPanel.h"
#include "FakeRunningApplications.h"
#include "app/ContentView.h"
#include "app/Updater.h"
#include "app/VeltrinApp.h"
#include "platform/BookmarkFolderAccess.h"
#include "platform/Preferences.h"
#include "platform/UpdateFramework.h"
#include "store/SignatureService.h"

#include <QDir>
#include <QMainWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace veltrin;

namespace {

class IdleUpdateFramework final : public UpdateFramework {
public:
    bool canCheckForUpdates() const override { return true; }
    void checkForUpdates() override {}
};

QString copySampleSignatures(const QString& home)
{
    const QDir source(QStringLiteral(VELTRIN_EXAMPLES_DIR "/home/Library/Mail/V11/MailData/Signatures"));
    const QString target = home + QStringLiteral("/Library/Mail/V11/MailData/Signatures");
    QDir().mkpath(target);
    const QStringList names = source.entryList(QDir::Files);
    for (const QString& name : names)
        QFile::copy(source.filePath(name), target + u'/' + name);
    return target;
}

} // namespace

// The whole road a new user takes, in one window, offscreen.
class TestEndToEnd final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstLaunchToTheList();
};

void TestEndToEnd::firstLaunchToTheList()
{
    QTemporaryDir home;
    SettingsPreferences preferences(home.filePath(QStringLiteral("preferences.ini")));
    BookmarkFolderAccess folderAccess;
    test::FakeFolderPanel panel;
    test::FakeRunningApplications running;
    const QString signatures = copySampleSignatures(home.path());

    VeltrinApp app({
        .preferences = preferences,
        .folderAccess = folderAccess,
        .folderPanel = panel,
        .runningApplications = running,
        .homeFolder = home.path(),
        .startTelemetry = [] {},
        .makeUpdater = [] { return std::make_unique<Updater>(std::make_unique<IdleUpdateFramework>()); },
    });
    app.showWindow();
    QVERIFY(QTest::qWaitForWindowExposed(app.window()));
    ContentView* content = app.contentView();

    // Onboarding: welcome, Continue, the grant-access step.
    QCOMPARE(content->appState(), AppState::onboarding);
    OnboardingView* onboarding = content->onboardingView();
    QTest::mouseClick(onboarding->welcomeStep()->continueButton(), Qt::LeftButton);
    QTRY_VERIFY(!onboarding->isAnimating());
    GrantAccessStep* grant = onboarding->grantAccessStep();
    QVERIFY(grant && grant->isVisible());

    // Grant Access opens the panel in Mail's folder; the user picks it.
    QTest::mouseClick(grant->grantAccessButton(), Qt::LeftButton);
    QCOMPARE(content->appState(), AppState::loading);
    QCOMPARE(panel.openCount(), 1);
    QCOMPARE(panel.options(0).directoryURL, QUrl::fromLocalFile(signatures));
    panel.choose(QUrl::fromLocalFile(signatures));
    QTRY_COMPARE(content->appState(), AppState::list);
    QCOMPARE(content->service().signatures().size(), 3);
    QVERIFY(content->service().hasBookmark());
    QVERIFY(content->splitEditorView()->isVisible());
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
