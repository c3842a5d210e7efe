#include "FakeAppearance.h"
#include "LookChecks.h"
#include "app/look/AppearancePalette.h"
#include "app/look/Controls.h"
#include "app/onboarding/FeatureColumn.h"
#include "app/onboarding/GrantAccessStep.h"
#include "app/onboarding/HelpSection.h"
#include "app/onboarding/HelpSheet.h"
#include "app/onboarding/OnboardingView.h"
#include "app/onboarding/WelcomeStep.h"

#include <QLabel>
#include <QParallelAnimationGroup>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace veltrin;

class TestOnboarding final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void stepShownForCurrentStep_data();
    void stepShownForCurrentStep();
    void continueSlidesToGrantAccessAndStaysThere();
    void grantAccessRunsTheLoadOncePerPress();
    void helpLinkPresentsTheSheetAgainAfterEachClose_data();
    void helpLinkPresentsTheSheetAgainAfterEachClose();
    void welcomeShowsTheThreeFeaturesInOrder();
    void longFeatureDescriptionWrapsWithoutTruncation();
    void followsTheAppearanceWhileOnScreen_data();
    void followsTheAppearanceWhileOnScreen();
    void textsClaimNothingThisPlatformLacks_data();
    void textsClaimNothingThisPlatformLacks();
    void featureColumnsShareTheirMiddle();
};

void TestOnboarding::stepShownForCurrentStep_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("welcome");
    QTest::addRow("0 is the welcome step") << 0 << true;
    QTest::addRow("1 is the grant-access step") << 1 << false;
    QTest::addRow("any other value too") << 7 << false;
    QTest::addRow("negative values too") << -1 << false;
}

void TestOnboarding::stepShownForCurrentStep()
{
    QFETCH(int, step);
    QFETCH(bool, welcome);
    OnboardingView view({});
    view.resize(900, 600);
    view.show();
    QVERIFY(view.welcomeStep());
    QCOMPARE(view.currentStep(), 0);

    view.setCurrentStep(step);
    QCOMPARE(view.currentStep(), step);
    QCOMPARE(view.welcomeStep() != nullptr, welcome);
    QCOMPARE(view.grantAccessStep() != nullptr, !welcome);
    QWidget* shown = welcome ? static_cast<QWidget*>(view.welcomeStep()) : view.grantAccessStep();
    QVERIFY(shown->isVisible());
    QCOMPARE(shown->geometry(), view.rect());
}

void TestOnboarding::continueSlidesToGrantAccessAndStaysThere()
{
    OnboardingView view({});
    view.resize(900, 600);
    view.show();
    QPointer<WelcomeStep> welcome = view.welcomeStep();
    welcome->continueButton()->click();

    // The value changes at once; only its display is animated.
    QCOMPARE(view.currentStep(), 1);
    GrantAccessStep* grant = view.grantAccessStep();
    QVERIFY(grant);
    QVERIFY(view.isAnimating());
    QVERIFY2(grant->x() > 0, "the grant-access step enters from the trailing edge");
    QVERIFY(welcome && welcome->isVisible());

    // Half-way through, whatever the machine's speed: the animation's own clock is set there.
    auto* animation = view.findChild<QParallelAnimationGroup*>(QString(), Qt::FindDirectChildrenOnly);
    QVERIFY(animation);
    QCOMPARE(animation->totalDuration(), OnboardingView::stepChangeMilliseconds);
    animation->pause();
    animation->setCurrentTime(OnboardingView::stepChangeMilliseconds / 2);
    QCOMPARE(animation->state(), QAbstractAnimation::Paused);
    QVERIFY(grant->x() > 0 && grant->x() < view.width());
    QVERIFY2(welcome && welcome->x() < 0, "the welcome step leaves towards the leading edge");
    animation->resume();

    QTRY_VERIFY(!view.isAnimating());
    QCOMPARE(grant->geometry(), view.rect());
    QTRY_VERIFY(!welcome);

    // Continue sets 1, it does not advance.
    view.continueToGrantAccess();
    QCOMPARE(view.currentStep(), 1);
    QCOMPARE(view.grantAccessStep(), grant);
    QVERIFY(!view.isAnimating());
}

void TestOnboarding::grantAccessRunsTheLoadOncePerPress()
{
    int loads = 0;
    OnboardingView view([&loads] { ++loads; });
    view.resize(900, 600);
    view.show();
    view.setCurrentStep(1);
    GrantAccessStep* grant = view.grantAccessStep();
    grant->grantAccessButton()->click();
    QCOMPARE(loads, 1);
    grant->grantAccessButton()->click();
    QCOMPARE(loads, 2);
    QCOMPARE(view.currentStep(), 1);
    QCOMPARE(view.grantAccessStep(), grant);
    QVERIFY(!grant->showingHelpSheet());
}

void TestOnboarding::helpLinkPresentsTheSheetAgainAfterEachClose_data()
{
    QTest::addColumn<QString>("closeWith");
    QTest::addRow("close button") << QStringLiteral("close");
    QTest::addRow("Got it") << QStringLiteral("gotIt");
    QTest::addRow("Escape") << QStringLiteral("escape");
}

void TestOnboarding::helpLinkPresentsTheSheetAgainAfterEachClose()
{
    QFETCH(QString, closeWith);
    int loads = 0;
    OnboardingView view([&loads] { ++loads; });
    view.resize(900, 600);
    view.show();
    view.setCurrentStep(1);
    GrantAccessStep* grant = view.grantAccessStep();
    QCOMPARE(grant->helpButton()->text(), QStringLiteral("Why do I need to grant access?"));

    for (int round = 0; round < 2; ++round) {
        grant->helpButton()->click();
        QVERIFY(grant->showingHelpSheet());
        HelpSheet* sheet = grant->helpSheet();
        QVERIFY(sheet);
        QVERIFY(sheet->isVisible());
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);

        if (closeWith == u"close")
            sheet->closeButton()->click();
        else if (closeWith == u"gotIt")
            sheet->gotItButton()->click();
        else
            QTest::keyClick(sheet, Qt::Key_Escape);
        QVERIFY(!grant->showingHelpSheet());
        QVERIFY(!sheet->isVisible());
        QCOMPARE(view.currentStep(), 1);
        QCOMPARE(view.grantAccessStep(), grant);
        QCOMPARE(loads, 0);
    }
}

void TestOnboarding::welcomeShowsTheThreeFeaturesInOrder()
{
    WelcomeStep step({});
    step.resize(900, 600);
    step.show();
    const QList<FeatureColumn*> columns = step.featureColumns();
    QCOMPARE(columns.size(), 3);
    const QStringList icons { QStringLiteral("eye.fill"),
        QStringLiteral("chevron.left.forwardslash.chevron.right"), QStringLiteral("lock.fill") };
    const QStringList titles { QStringLiteral("Live Preview"), QStringLiteral("Code Editor"),
        QStringLiteral("Protected Saves") };
    const QStringList descriptions { QStringLiteral("See your signature in light and dark mode"),
        QStringLiteral("Edit HTML directly"), QStringLiteral("Prevent Mail from overwriting") };
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(columns[i]->icon(), icons[i]);
        QCOMPARE(columns[i]->title(), titles[i]);
        QCOMPARE(columns[i]->titleLabel()->text(), titles[i]);
        QCOMPARE(columns[i]->description(), descriptions[i]);
        QLabel* label = columns[i]->descriptionLabel();
        QVERIFY(label->height() >= label->heightForWidth(label->width()));
        QVERIFY(qAbs(columns[i]->width() - columns[0]->width()) <= 1);
    }
    QCOMPARE(step.continueButton()->text(), QStringLiteral("Continue"));
}

void TestOnboarding::longFeatureDescriptionWrapsWithoutTruncation()
{
    // Markup-like text is data: it is shown as written, never interpreted.
    const QString description = QStringLiteral(
        "A <b>description</b> much longer than its narrow column, which has to wrap onto several "
        "centred lines & must never be cut short at the bottom of the column.");
    FeatureColumn column(QStringLiteral("eye.fill"), QStringLiteral("Title"), description);
    column.setFixedWidth(160);
    column.show();
    QLabel* label = column.descriptionLabel();
    QVERIFY(label->wordWrap());
    QVERIFY(label->alignment() & Qt::AlignHCenter);
    const int oneLine = label->fontMetrics().height();
    QTRY_VERIFY(label->height() > 3 * oneLine);
    QVERIFY(label->height() >= label->heightForWidth(label->width()));
    QVERIFY(label->geometry().bottom() <= column.rect().bottom());
    QVERIFY(label->text().contains(QStringLiteral("&lt;b&gt;description&lt;/b&gt;")));
}

void TestOnboarding::followsTheAppearanceWhileOnScreen_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("helpSheet");
    QTest::addColumn<int>("texts");
    // Title, subtitle, three titles and three descriptions.
    QTest::addRow("welcome") << 0 << false << 8;
    // Title, explanation, two headings and details, the help link.
    QTest::addRow("grant access") << 1 << false << 7;
    // Heading and four sections of two texts.
    QTest::addRow("help sheet") << 1 << true << 9;
}

void TestOnboarding::followsTheAppearanceWhileOnScreen()
{
    QFETCH(int, step);
    QFETCH(bool, helpSheet);
    QFETCH(int, texts);
    test::FakeAppearance appearance;
    AppearancePalette palette(appearance);
    OnboardingView view({});
    view.resize(900, 600);
    view.setCurrentStep(step);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QWidget* shown = view.welcomeStep() ? static_cast<QWidget*>(view.welcomeStep()) : view.grantAccessStep();
    if (helpSheet) {
        view.grantAccessStep()->setShowingHelpSheet(true);
        shown = view.grantAccessStep()->helpSheet();
        QVERIFY(QTest::qWaitForWindowExposed(shown));
    }
    QCOMPARE(test::shownTexts(*shown).size(), texts);
    QTRY_COMPARE(test::textsNotSuiting(*shown, ColorScheme::light), QStringList());
    const QList<QImage> lightSymbols = test::shownPictures(*shown);
    // The window that holds the view, painted with its background.
    QWidget* surface = helpSheet ? shown : static_cast<QWidget*>(&view);
    const QImage lightLook = surface->grab().toImage();

    appearance.setColorScheme(ColorScheme::dark);
    QTRY_COMPARE(test::textsNotSuiting(*shown, ColorScheme::dark), QStringList());
    const QList<QImage> darkSymbols = test::shownPictures(*shown);
    QCOMPARE(darkSymbols.size(), lightSymbols.size());
    for (int i = 0; i < darkSymbols.size(); ++i)
        QVERIFY2(darkSymbols[i] != lightSymbols[i],
            qPrintable(QStringLiteral("symbol %1 kept its colour").arg(i)));
    // Buttons and boxes are painted from the palette: the grey window turns dark around them.
    const QImage darkLook = surface->grab().toImage();
    QVERIFY(qGray(darkLook.pixel(2, 2)) < 80);
    QVERIFY(qGray(lightLook.pixel(2, 2)) > 180);

    appearance.setColorScheme(ColorScheme::light);
    QTRY_COMPARE(test::textsNotSuiting(*shown, ColorScheme::light), QStringList());
    QTRY_COMPARE(test::shownPictures(*shown), lightSymbols);
    if (helpSheet)
        view.grantAccessStep()->setShowingHelpSheet(false);
}

void TestOnboarding::textsClaimNothingThisPlatformLacks_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("helpSheet");
    QTest::addRow("welcome") << 0 << false;
    QTest::addRow("grant access") << 1 << false;
    QTest::addRow("help sheet") << 1 << true;
}

// There is no Mac here, no sandbox and no security-scoped bookmark: no text may say there is.
void TestOnboarding::textsClaimNothingThisPlatformLacks()
{
    QFETCH(int, step);
    QFETCH(bool, helpSheet);
    OnboardingView view({});
    view.setCurrentStep(step);
    view.show();
    QWidget* shown = view.welcomeStep() ? static_cast<QWidget*>(view.welcomeStep()) : view.grantAccessStep();
    if (helpSheet) {
        view.grantAccessStep()->setShowingHelpSheet(true);
        shown = view.grantAccessStep()->helpSheet();
    }
    const QRegularExpression claim(QStringLiteral("\\b(?:Mac|macOS|[Ss]andbox\\w*|security-scoped)\\b"));
    QStringList claims;
    const QList<test::ShownText> texts = test::shownTexts(*shown);
    QVERIFY(!texts.isEmpty());
    for (const test::ShownText& text : texts)
        if (claim.match(text.text).hasMatch())
            claims << text.text;
    QCOMPARE(claims, QStringList());
}

// A description that wraps makes its column taller; the columns stay centred on one line.
void TestOnboarding::featureColumnsShareTheirMiddle()
{
    WelcomeStep step({});
    step.resize(900, 600);
    step.show();
    QVERIFY(QTest::qWaitForWindowExposed(&step));
    const QList<FeatureColumn*> columns = step.featureColumns();
    QCOMPARE(columns.size(), 3);
    // At the window's smallest width the first description takes two lines, the others one.
    QTRY_VERIFY(columns[0]->height() > columns[1]->height());
    for (FeatureColumn* column : columns) {
        QVERIFY2(qAbs(column->geometry().center().y() - columns[0]->geometry().center().y()) <= 1,
            qPrintable(column->title()));
        QLabel* label = column->descriptionLabel();
        QVERIFY(label->height() >= label->heightForWidth(label->width()));
    }
}

QTEST_MAIN(TestOnboarding)
#include "tst_onboarding.moc"
