#include "app/window/CheckForUpdatesCommand.h"
#include "app/window/Updater.h"
#include "platform/BundleInfo.h"
#include "platform/LocalUpdateFramework.h"

#include <QActionGroup>
#include <QSignalSpy>
#include <QTest>

using namespace veltrin;

namespace {

class FakeUpdateFramework final : public UpdateFramework {
public:
    explicit FakeUpdateFramework(bool canCheck)
        : m_canCheck(canCheck)
    {
    }
    bool canCheckForUpdates() const override { return m_canCheck; }
    void checkForUpdates() override { ++checks; }
    void report(bool canCheck)
    {
        m_canCheck = canCheck;
        Q_EMIT canCheckForUpdatesChanged(canCheck);
    }
    int checks = 0;

private:
    bool m_canCheck;
};

} // namespace

class TestUpdater final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void takesTheUpdatersValueAtOnce_data();
    void takesTheUpdatersValueAtOnce();
    void followsEveryChange();
    void oneCheckPerChoice();
    void disabledSurroundingsKeepTheCommandDisabled();
    void localFrameworkTellsTheVersionAndIsBusyMeanwhile();
};

void TestUpdater::takesTheUpdatersValueAtOnce_data()
{
    QTest::addColumn<bool>("canCheck");
    QTest::addRow("ready") << true;
    QTest::addRow("not ready") << false;
}

void TestUpdater::takesTheUpdatersValueAtOnce()
{
    QFETCH(bool, canCheck);
    Updater updater(std::make_unique<FakeUpdateFramework>(canCheck));
    QCOMPARE(updater.canCheckForUpdates(), canCheck);
    CheckForUpdatesCommand command(updater);
    QCOMPARE(command.text(), QStringLiteral("Check for Updates\u2026"));
    QCOMPARE(command.isEnabled(), canCheck);
}

void TestUpdater::followsEveryChange()
{
    auto owned = std::make_unique<FakeUpdateFramework>(true);
    FakeUpdateFramework& framework = *owned;
    Updater updater(std::move(owned));
    CheckForUpdatesCommand command(updater);

    QStringList events;
    connect(&updater, &Updater::objectWillChange, this,
        [&] { events.append(QStringLiteral("will:%1").arg(updater.canCheckForUpdates())); });
    connect(&updater, &Updater::canCheckForUpdatesChanged, this,
        [&](bool value) { events.append(QStringLiteral("did:%1").arg(value)); });

    for (bool value : { false, true, true, false }) {
        framework.report(value);
        QCOMPARE(updater.canCheckForUpdates(), value);
        QCOMPARE(command.isEnabled(), value);
    }
    // Observers hear before each assignment, also one that repeats the value.
    QCOMPARE(events,
        (QStringList { QStringLiteral("will:1"), QStringLiteral("did:0"), QStringLiteral("will:0"),
            QStringLiteral("did:1"), QStringLiteral("will:1"), QStringLiteral("did:1"),
            QStringLiteral("will:1"), QStringLiteral("did:0") }));
}

void TestUpdater::oneCheckPerChoice()
{
    auto owned = std::make_unique<FakeUpdateFramework>(true);
    FakeUpdateFramework& framework = *owned;
    Updater updater(std::move(owned));
    CheckForUpdatesCommand command(updater);
    command.trigger();
    QCOMPARE(framework.checks, 1);
    command.trigger();
    QCOMPARE(framework.checks, 2);

    framework.report(false);
    command.trigger();
    QCOMPARE(framework.checks, 2);
}

void TestUpdater::disabledSurroundingsKeepTheCommandDisabled()
{
    auto owned = std::make_unique<FakeUpdateFramework>(false);
    FakeUpdateFramework& framework = *owned;
    Updater updater(std::move(owned));
    QActionGroup menu(nullptr);
    auto* command = new CheckForUpdatesCommand(updater, &menu);
    menu.addAction(command);
    menu.setEnabled(false);
    framework.report(true);
    QVERIFY(!command->isEnabled());
    command->trigger();
    QCOMPARE(framework.checks, 0);
    menu.setEnabled(true);
    QVERIFY(command->isEnabled());
}

void TestUpdater::localFrameworkTellsTheVersionAndIsBusyMeanwhile()
{
    QStringList shown;
    std::function<void()> close;
    LocalUpdateFramework framework(
        [&](const QString& title, const QString& text, std::function<void()> finished) {
            shown.append(title + u'|' + text);
            close = std::move(finished);
        });
    QVERIFY(framework.canCheckForUpdates());
    QSignalSpy changes(&framework, &UpdateFramework::canCheckForUpdatesChanged);

    framework.checkForUpdates();
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown.first().contains(BundleInfo::current().shortVersion));
    QVERIFY(shown.first().contains(QStringLiteral("package manager")));
    QVERIFY(!framework.canCheckForUpdates());

    framework.checkForUpdates();
    QCOMPARE(shown.size(), 1);

    close();
    QVERIFY(framework.canCheckForUpdates());
    QCOMPARE(changes.size(), 2);
    QCOMPARE(changes.at(0).at(0).toBool(), false);
    QCOMPARE(changes.at(1).at(0).toBool(), true);
}

QTEST_MAIN(TestUpdater)
#include "tst_updater.moc"
