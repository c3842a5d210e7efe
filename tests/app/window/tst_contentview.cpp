#include "FakeFileAttributes.h"
#include "FakeFolderPanel.h"
#include "ScriptedFileOperations.h"
#include "FakeRunningApplications.h"
#include "TestSupport.h"
#include "app/look/ElidingLabel.h"
#include "app/window/ContentView.h"
#include "platform/BookmarkFolderAccess.h"
#include "platform/Preferences.h"
#include "store/SignatureService.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace veltrin;
using veltrin::test::FakeFolderPanel;
using veltrin::test::FakeRunningApplications;

namespace {

enum class Folder { withFiles, withoutFiles };

// One window's root view over a temporary home folder.
struct Window {
    // The recomputation delay passes only when the test says so, unless the real timer is asked for.
    explicit Window(bool realTimer = false)
    {
        view = std::make_unique<ContentView>(preferences, folderAccess, panel, running, attributes, files, home.path());
        if (!realTimer)
            view->setScheduler([this](int delay, std::function<void()> action) {
                delays.append(delay);
                pending.append(std::move(action));
            });
        QObject::connect(view.get(), &ContentView::appStateChanged, view.get(),
            [this](AppState state) { states.append(QString::fromLatin1(toString(state))); });
    }

    QString mailFolder() const
    {
        return home.filePath(QStringLiteral("Library/Mail/V11/MailData/Signatures"));
    }

    QString makeFolder(const QString& path, Folder kind) const
    {
        QDir().mkpath(path);
        if (kind == Folder::withFiles) {
            const QDir examples(
                QStringLiteral(VELTRIN_EXAMPLES_DIR "/home/Library/Mail/V11/MailData/Signatures"));
            const QStringList names = examples.entryList(QDir::Files);
            for (const QString& name : names)
                QFile::copy(examples.filePath(name), path + u'/' + name);
        }
        return path;
    }

    void storeBookmark(const QString& folder)
    {
        preferences.set(
            SignatureService::bookmarkKey, folderAccess.bookmarkData(QUrl::fromLocalFile(folder)).value());
    }

    // Same path, another folder: the stored bookmark goes stale.
    void replaceFolder(const QString& folder, Folder kind) const
    {
        // The old folder stays until the new one exists, so that the inode cannot be reused.
        const QString old = folder + QStringLiteral(".old");
        QVERIFY(QDir().rename(folder, old));
        makeFolder(folder, kind);
        QDir(old).removeRecursively();
    }

    QList<QUuid> listedIds() { return idsOf(view->service().signatures()); }
    static QList<QUuid> idsOf(const QList<SignatureFile>& signatures)
    {
        QList<QUuid> ids;
        for (const SignatureFile& signature : signatures)
            ids.append(signature.id);
        return ids;
    }

    void pressGrantAccess()
    {
        OnboardingView* onboarding = view->onboardingView();
        QVERIFY(onboarding);
        onboarding->setCurrentStep(1);
        onboarding->grantAccessStep()->grantAccessButton()->click();
    }

    // Lets the view update after the current action, without waiting for any timer.
    static void finishAction() { QCoreApplication::processEvents(); }
    // The delay passes for every load waiting on it, oldest first.
    void passDelay()
    {
        while (!pending.isEmpty())
            pending.takeFirst()();
        finishAction();
    }
    // The delay passes for the oldest load only.
    void passDelayOfOldestLoad()
    {
        QVERIFY(!pending.isEmpty());
        pending.takeFirst()();
        finishAction();
    }

    QTemporaryDir home;
    SettingsPreferences preferences { home.filePath(QStringLiteral("preferences.ini")) };
    BookmarkFolderAccess folderAccess;
    FakeFolderPanel panel;
    FakeRunningApplications running;
    test::FakeFileAttributes attributes;
    test::ScriptedFileOperations files;
    std::unique_ptr<ContentView> view;
    QStringList states;
    QList<std::function<void()>> pending;
    QList<int> delays;
};

} // namespace

class TestContentView final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsInOnboardingAtLeastMinimumSize();
    void launchWithoutBookmarkWaitsForTheUser();
    void launchWithBookmark_data();
    void launchWithBookmark();
    void panelAnsweredAfterTheTimer_data();
    void panelAnsweredAfterTheTimer();
    void panelAnsweredBeforeTheTimer_data();
    void panelAnsweredBeforeTheTimer();
    void noMailFolderReturnsToTheFirstOnboardingStep();
    void storeMessageShowsOnTheGrantAccessStep_data();
    void storeMessageShowsOnTheGrantAccessStep();
    void rescanFromTheListKeepsTheSelection();
    void rescanWithStaleBookmarkShowsEmptyBehindThePanel();
    void reloadAfterSaveKeepsTheListState_data();
    void reloadAfterSaveKeepsTheListState();
    void emptyStateRescanRunsAFullLoad();
    void twoQuickLoadsRecomputeTwice();
    void recomputationWaitsHalfASecond();
};

void TestContentView::startsInOnboardingAtLeastMinimumSize()
{
    Window window;
    QCOMPARE(window.view->appState(), AppState::onboarding);
    // Its views are made when it first appears.
    QVERIFY(!window.view->currentChild());
    window.view->show();
    QVERIFY(window.view->onboardingView());
    QCOMPARE(window.view->onboardingView()->currentStep(), 0);
    QVERIFY(!window.view->selectedSignature());
    QCOMPARE(window.view->minimumSize(), QSize(900, 600));
    QVERIFY(window.view->service().signatures().isEmpty());
    QVERIFY(!window.view->service().errorMessage());
    QVERIFY(!window.view->service().accessedURL());
}

void TestContentView::launchWithoutBookmarkWaitsForTheUser()
{
    Window window;
    window.makeFolder(window.mailFolder(), Folder::withFiles);
    window.view->show();
    window.passDelay();
    QCOMPARE(window.view->appState(), AppState::onboarding);
    QCOMPARE(window.states, QStringList());
    QCOMPARE(window.panel.requestCount(), 0);
    QVERIFY(window.view->service().signatures().isEmpty());
}

void TestContentView::launchWithBookmark_data()
{
    QTest::addColumn<QString>("bookmark");
    QTest::addColumn<QString>("beforeTimer");
    QTest::addColumn<QString>("afterTimer");
    QTest::addColumn<int>("panels");
    // The scanned list arrives within the appearance: the change rule gives the list at once.
    QTest::addRow("folder with signature files") << "files"
                                                 << "list"
                                                 << "list" << 0;
    // The list stays empty, so only the timer sees the store's notice.
    QTest::addRow("folder without signature files") << "none"
                                                    << "loading"
                                                    << "onboarding" << 0;
    // No usable bookmark: the panel opens, and while it is open the timer finds nothing at all.
    QTest::addRow("stale bookmark") << "stale"
                                    << "loading"
                                    << "empty" << 1;
    QTest::addRow("bookmarked folder gone") << "gone"
                                            << "loading"
                                            << "empty" << 1;
}

void TestContentView::launchWithBookmark()
{
    QFETCH(QString, bookmark);
    QFETCH(QString, beforeTimer);
    QFETCH(QString, afterTimer);
    QFETCH(int, panels);

    Window window;
    window.makeFolder(window.mailFolder(), Folder::withoutFiles);
    const QString folder = window.makeFolder(window.home.filePath(QStringLiteral("chosen")),
        bookmark == u"none" ? Folder::withoutFiles : Folder::withFiles);
    window.storeBookmark(folder);
    if (bookmark == u"stale")
        window.replaceFolder(folder, Folder::withFiles);
    if (bookmark == u"gone")
        QDir(folder).removeRecursively();

    window.view->show();
    QCOMPARE(window.view->appState(), AppState::loading);
    QVERIFY(window.view->loadingView());
    QCOMPARE(window.panel.requestCount(), 0);
    // The folder is read in the next pass of the event loop, and the view is up to date within
    // that same pass: the window's first frame never shows the loading state for a moment.
    Window::finishAction();
    QCOMPARE(QString::fromLatin1(toString(window.view->appState())), beforeTimer);
    window.passDelay();
    QCOMPARE(QString::fromLatin1(toString(window.view->appState())), afterTimer);
    QCOMPARE(window.panel.requestCount(), panels);
    if (panels)
        QCOMPARE(window.panel.options(0).directoryURL, QUrl::fromLocalFile(window.mailFolder()));
    // A stale bookmark is neither renewed nor removed by a load.
    QVERIFY(window.view->service().hasBookmark());
}

void TestContentView::panelAnsweredAfterTheTimer_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<AppState>("state");
    QTest::addRow("folder with signature files") << "files" << AppState::list;
    // The store's message arrives without a change of the list: unseen until the next load.
    QTest::addRow("folder without signature files") << "none" << AppState::empty;
    QTest::addRow("cancel") << "cancel" << AppState::empty;
    QTest::addRow("OK without a folder") << "nothing" << AppState::empty;
}

void TestContentView::panelAnsweredAfterTheTimer()
{
    QFETCH(QString, answer);
    QFETCH(AppState, state);

    Window window;
    window.makeFolder(window.mailFolder(), Folder::withoutFiles);
    window.view->show();
    window.pressGrantAccess();
    QCOMPARE(window.view->appState(), AppState::loading);
    QCOMPARE(window.panel.openCount(), 1);
    QCOMPARE(window.panel.options(0).prompt, QStringLiteral("Grant Access"));

    window.passDelay();
    QCOMPARE(window.view->appState(), AppState::empty);
    QVERIFY(window.view->emptyStateView());

    const QString chosen = window.home.filePath(QStringLiteral("chosen"));
    if (answer == u"files")
        window.panel.choose(QUrl::fromLocalFile(window.makeFolder(chosen, Folder::withFiles)));
    else if (answer == u"none")
        window.panel.choose(QUrl::fromLocalFile(window.makeFolder(chosen, Folder::withoutFiles)));
    else if (answer == u"cancel")
        window.panel.cancel();
    else
        window.panel.chooseNothing();
    QCOMPARE(window.view->service().errorMessage().has_value(), answer != u"files");

    Window::finishAction();
    QCOMPARE(window.view->appState(), state);
    window.passDelay();
    QCOMPARE(window.view->appState(), state);
    QCOMPARE(window.view->service().hasBookmark(), answer == u"files" || answer == u"none");
}

void TestContentView::panelAnsweredBeforeTheTimer_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<AppState>("beforeTimer");
    QTest::addColumn<AppState>("afterTimer");
    QTest::addRow("folder with signature files") << "files" << AppState::list << AppState::list;
    QTest::addRow("folder without signature files") << "none" << AppState::loading << AppState::onboarding;
    QTest::addRow("cancel") << "cancel" << AppState::loading << AppState::onboarding;
}

void TestContentView::panelAnsweredBeforeTheTimer()
{
    QFETCH(QString, answer);
    QFETCH(AppState, beforeTimer);
    QFETCH(AppState, afterTimer);

    Window window;
    window.makeFolder(window.mailFolder(), Folder::withoutFiles);
    window.view->show();
    window.pressGrantAccess();
    const QString chosen = window.home.filePath(QStringLiteral("chosen"));
    if (answer == u"cancel")
        window.panel.cancel();
    else
        window.panel.choose(QUrl::fromLocalFile(
            window.makeFolder(chosen, answer == u"files" ? Folder::withFiles : Folder::withoutFiles)));
    Window::finishAction();
    QCOMPARE(window.view->appState(), beforeTimer);
    window.passDelay();
    QCOMPARE(window.view->appState(), afterTimer);
    if (afterTimer == AppState::onboarding)
        QCOMPARE(window.view->onboardingView()->currentStep(), 0);
}

void TestContentView::noMailFolderReturnsToTheFirstOnboardingStep()
{
    Window window;
    window.view->show();
    window.pressGrantAccess();
    QCOMPARE(window.panel.requestCount(), 0);
    QCOMPARE(window.view->service().errorMessage(),
        std::optional<QString>(QStringLiteral("Could not find Mail signatures folder")));
    QCOMPARE(window.view->appState(), AppState::loading);
    window.passDelay();
    QCOMPARE(window.view->appState(), AppState::onboarding);
    QCOMPARE(window.view->onboardingView()->currentStep(), 0);
    QCOMPARE(window.states, (QStringList { QStringLiteral("loading"), QStringLiteral("onboarding") }));
}

void TestContentView::storeMessageShowsOnTheGrantAccessStep_data()
{
    QTest::addColumn<QString>("road");
    QTest::addColumn<QString>("message"); // %1: the chosen folder
    QTest::addRow("first launch") << "first launch" << QString();
    QTest::addRow("bookmarked folder without signature files")
        << "empty folder" << QStringLiteral("No signature files found in: %1");
    QTest::addRow("no Mail folder to start in")
        << "no Mail folder" << QStringLiteral("Could not find Mail signatures folder");
    QTest::addRow("panel cancelled") << "cancel" << QStringLiteral("Access to signatures folder was denied");
}

// Back in onboarding because of a problem, the grant-access step says which, on one line that
// keeps a long path's start and end; the whole text is in its tooltip and read with Grant Access.
void TestContentView::storeMessageShowsOnTheGrantAccessStep()
{
    QFETCH(QString, road);
    QFETCH(QString, message);
    Window window;
    // Long enough to need shortening at the window's smallest width.
    const QString chosen
        = window.home.filePath(QStringLiteral("a-folder-whose-name-is-long-enough-to-need-shortening/")
            + QString(60, u'x') + QStringLiteral("/Signatures"));
    if (road == u"empty folder") {
        window.storeBookmark(window.makeFolder(chosen, Folder::withoutFiles));
    } else if (road == u"cancel") {
        window.makeFolder(window.mailFolder(), Folder::withoutFiles);
    }
    window.view->resize(ContentView::minimumWidth, ContentView::minimumHeight);
    window.view->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.view.get()));
    Window::finishAction();
    if (road == u"no Mail folder" || road == u"cancel") {
        window.pressGrantAccess();
        if (road == u"cancel")
            window.panel.cancel();
    }
    window.passDelay();
    QCOMPARE(window.view->appState(), AppState::onboarding);

    // The flow still begins with the welcome step.
    OnboardingView* onboarding = window.view->onboardingView();
    QCOMPARE(onboarding->currentStep(), 0);
    onboarding->setCurrentStep(1);
    GrantAccessStep* step = onboarding->grantAccessStep();
    QVERIFY(step);
    ElidingLabel* label = step->storeMessageLabel();
    if (message.isEmpty()) {
        // As on every first launch: nothing more than the step itself.
        QVERIFY(!label);
        QVERIFY(!step->findChild<QWidget*>(QStringLiteral("storeMessage")));
        QCOMPARE(step->grantAccessButton()->accessibleDescription(), QString());
        return;
    }
    const QString expected = message.arg(chosen);
    QVERIFY(label);
    QTRY_VERIFY(label->isVisible());
    QCOMPARE(label->fullText(), expected);
    QCOMPARE(label->toolTip(), expected);
    QCOMPARE(step->grantAccessButton()->accessibleDescription(), expected);
    QVERIFY(label->height() < 2 * label->fontMetrics().lineSpacing());
    QVERIFY(QRect(label->mapTo(step, QPoint(0, 0)), label->size()).right() <= step->width());
    if (message.contains(u"%1")) {
        // Shortened in the middle: what the message is, and which folder.
        QVERIFY2(label->text().contains(u'\u2026'), qPrintable(label->text()));
        QVERIFY(label->text().startsWith(QStringLiteral("No signature files found in: ")));
        QVERIFY(label->text().endsWith(QStringLiteral("/Signatures")));
    } else {
        QCOMPARE(label->text(), expected);
    }
}

void TestContentView::rescanFromTheListKeepsTheSelection()
{
    Window window;
    const QString folder = window.makeFolder(window.mailFolder(), Folder::withFiles);
    window.storeBookmark(folder);
    window.view->show();
    QTRY_COMPARE(window.view->appState(), AppState::list);
    QPointer<SplitEditorView> firstSplit = window.view->splitEditorView();
    const SignatureFile picked = window.view->service().signatures().at(1);
    Q_EMIT firstSplit->selectedSignatureChanged(picked);
    QCOMPARE(window.view->selectedSignature()->id, picked.id);

    window.view->loadSignatures();
    QCOMPARE(window.view->appState(), AppState::loading);
    Window::finishAction();
    QCOMPARE(window.view->appState(), AppState::list);
    SplitEditorView* split = window.view->splitEditorView();
    QVERIFY(split);
    QTRY_VERIFY(!firstSplit);

    // The old value stays selected: the same file, an id no row carries any more.
    QVERIFY(window.view->selectedSignature());
    QCOMPARE(window.view->selectedSignature()->id, picked.id);
    QCOMPARE(window.view->selectedSignature()->filePath, picked.filePath);
    QVERIFY(!window.listedIds().contains(picked.id));
    QCOMPARE(split->selectedSignature()->id, picked.id);

    window.passDelay();
    QCOMPARE(window.view->appState(), AppState::list);
    QCOMPARE(window.view->splitEditorView(), split);
}

void TestContentView::rescanWithStaleBookmarkShowsEmptyBehindThePanel()
{
    Window window;
    const QString folder = window.makeFolder(window.mailFolder(), Folder::withFiles);
    window.storeBookmark(folder);
    window.view->show();
    QTRY_COMPARE(window.view->appState(), AppState::list);
    Q_EMIT window.view->splitEditorView()->selectedSignatureChanged(
        window.view->service().signatures().first());

    window.replaceFolder(folder, Folder::withFiles);
    window.view->loadSignatures();
    QCOMPARE(window.panel.openCount(), 1);
    Window::finishAction();
    QCOMPARE(window.view->appState(), AppState::empty);
    QVERIFY(window.view->selectedSignature());

    window.panel.choose(QUrl::fromLocalFile(folder));
    Window::finishAction();
    QCOMPARE(window.view->appState(), AppState::list);
    QVERIFY(window.view->selectedSignature());
}

void TestContentView::reloadAfterSaveKeepsTheListState_data()
{
    QTest::addColumn<bool>("stale");
    QTest::addRow("bookmark usable") << false;
    QTest::addRow("bookmark gone stale") << true;
}

void TestContentView::reloadAfterSaveKeepsTheListState()
{
    QFETCH(bool, stale);
    Window window;
    const QString folder = window.makeFolder(window.mailFolder(), Folder::withFiles);
    window.storeBookmark(folder);
    window.view->show();
    QTRY_COMPARE(window.view->appState(), AppState::list);
    window.passDelay();
    SplitEditorView* split = window.view->splitEditorView();
    const QList<QUuid> before = window.listedIds();
    window.states.clear();

    if (stale)
        window.replaceFolder(folder, Folder::withFiles);
    window.view->reloadSignatures();
    Window::finishAction();
    QCOMPARE(window.panel.openCount(), stale ? 1 : 0);
    QCOMPARE(window.listedIds().isEmpty(), stale);
    if (!stale)
        QVERIFY(window.listedIds() != before);
    if (stale)
        window.panel.cancel();
    window.passDelay();
    QCOMPARE(window.view->appState(), AppState::list);
    QCOMPARE(window.view->splitEditorView(), split);
    QCOMPARE(window.states, QStringList());
}

void TestContentView::emptyStateRescanRunsAFullLoad()
{
    Window window;
    window.makeFolder(window.mailFolder(), Folder::withoutFiles);
    window.view->show();
    window.pressGrantAccess();
    window.passDelay();
    QCOMPARE(window.view->appState(), AppState::empty);
    window.view->emptyStateView()->rescanButton()->click();
    QCOMPARE(window.view->appState(), AppState::loading);
    QCOMPARE(window.panel.requestCount(), 2);
    QCOMPARE(window.pending.size(), 1);
    window.passDelay();
    QCOMPARE(window.view->appState(), AppState::empty);
}

void TestContentView::twoQuickLoadsRecomputeTwice()
{
    Window window;
    window.makeFolder(window.mailFolder(), Folder::withoutFiles);
    window.view->show();
    window.view->loadSignatures();
    window.panel.cancel();
    window.view->loadSignatures();
    QCOMPARE(window.panel.openCount(), 1);
    QCOMPARE(window.pending.size(), 2);

    // The first recomputation sees the second panel open; the second one sees its cancel.
    window.passDelayOfOldestLoad();
    QCOMPARE(window.view->appState(), AppState::empty);
    window.panel.cancel();
    window.passDelayOfOldestLoad();
    QCOMPARE(window.view->appState(), AppState::onboarding);
    QCOMPARE(window.states,
        (QStringList { QStringLiteral("loading"), QStringLiteral("empty"), QStringLiteral("onboarding") }));
}

void TestContentView::recomputationWaitsHalfASecond()
{
    Window window(true);
    QCOMPARE(window.view->recomputationDelay(), 500);
    window.makeFolder(window.mailFolder(), Folder::withoutFiles);
    window.view->show();
    QElapsedTimer elapsed;
    elapsed.start();
    window.pressGrantAccess();
    QCOMPARE(window.view->appState(), AppState::loading);
    QTRY_COMPARE(window.view->appState(), AppState::empty);
    QVERIFY(elapsed.elapsed() >= 500);
}

QTEST_MAIN(TestContentView)
#include "tst_contentview.moc"
