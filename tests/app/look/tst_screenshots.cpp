#include "FakeAppearance.h"
#include "TestSupport.h"
#include "app/editor/EditorHeader.h"
#include "app/editor/SaveToastView.h"
#include "app/look/AppearancePalette.h"
#include "app/look/Controls.h"
#include "app/look/Symbols.h"
#include "app/onboarding/HelpSheet.h"
#include "app/onboarding/OnboardingView.h"
#include "app/window/EmptyStateView.h"
#include "app/window/LoadingView.h"

#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <functional>
#include <memory>

using namespace veltrin;

// Pictures of every view of the look in light, dark, after a live switch to dark and back,
// for a person to look at. Runs only when VELTRIN_SCREENSHOTS names a folder.
class TestScreenshots final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void views_data();
    void views();

private:
    QDir m_folder;
};

namespace {

using Make = std::function<QWidget*(QWidget* window)>;

// The toast over a page of text, so that its translucency shows.
QWidget* toastOverText(QWidget* window)
{
    auto* page = new QWidget(window);
    auto* layout = new QVBoxLayout(page);
    for (int i = 0; i < 8; ++i)
        layout->addWidget(
            new QLabel(QStringLiteral("Text behind the toast, line %1 of the editor").arg(i + 1)));
    auto* toast = new SaveToastView(page);
    toast->placeIn(QRect(0, 0, 600, 300), 30);
    toast->present();
    return page;
}

QWidget* controls(QWidget* window)
{
    auto* page = new QWidget(window);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Controls::textLabel(QStringLiteral("Primary text"),
        Style::font(Style::TextStyle::headline), Style::Color::primary, page));
    layout->addWidget(Controls::textLabel(QStringLiteral("Secondary text"),
        Style::font(Style::TextStyle::body), Style::Color::secondary, page));
    auto* symbols = new QHBoxLayout;
    for (const char* name : { "circle.lefthalf.filled", "sun.max.fill", "moon.fill", "checkmark.circle.fill",
             "folder.badge.questionmark", "exclamationmark.triangle.fill", "arrow.clockwise" })
        symbols->addWidget(Controls::symbolLabel(QString::fromLatin1(name), 32, Style::Color::primary, page));
    layout->addLayout(symbols);
    layout->addWidget(Controls::divider(page));
    layout->addWidget(Controls::label(QStringLiteral("exclamationmark.triangle.fill"),
        new QLabel(QStringLiteral("Mail is open — changes may be overwritten")), Style::Color::orange, page));
    QPushButton* focused
        = Controls::prominentButton(QStringLiteral("Focused by Tab"), Controls::ControlSize::large);
    layout->addWidget(focused, 0, Qt::AlignLeft);
    QPushButton* disabled
        = Controls::prominentButton(QStringLiteral("Disabled"), Controls::ControlSize::large);
    disabled->setEnabled(false);
    layout->addWidget(disabled, 0, Qt::AlignLeft);
    QPushButton* plain = Controls::plainButton(page);
    plain->setText(QStringLiteral("Plain button"));
    Controls::setTextColor(plain, Style::Color::secondary);
    layout->addWidget(plain, 0, Qt::AlignLeft);
    auto* box = new MaterialBox(12, page);
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->addWidget(new QLabel(QStringLiteral("Inside the regular material")));
    layout->addWidget(box);
    focused->setFocus(Qt::TabFocusReason);
    return page;
}

} // namespace

void TestScreenshots::initTestCase()
{
    const std::optional<QDir> folder = test::requestedScreenshotDir();
    if (!folder)
        QSKIP("set VELTRIN_SCREENSHOTS to a folder to write the pictures");
    m_folder = *folder;
    Symbols::chooseIconTheme();
}

void TestScreenshots::views_data()
{
    QTest::addColumn<Make>("make");
    QTest::addColumn<QSize>("size");
    QTest::addRow("welcome") << Make([](QWidget* w) { return new OnboardingView({}, w); }) << QSize(900, 600);
    QTest::addRow("grant-access") << Make([](QWidget* w) {
        auto* view = new OnboardingView({}, w);
        view->setCurrentStep(1);
        return view;
    }) << QSize(900, 600);
    // Back in onboarding because the granted folder holds no signature.
    QTest::addRow("grant-access-store-message") << Make([](QWidget* w) {
        auto* view = new OnboardingView({},
            QStringLiteral("No signature files found in: /home/someone/Library/Mail/V11/MailData/"
                           "a folder with a rather long name, to show how it is shortened/Signatures"),
            w);
        view->setCurrentStep(1);
        return view;
    }) << QSize(900, 600);
    QTest::addRow("help-sheet") << Make([](QWidget* w) {
        auto* view = new OnboardingView({}, w);
        view->setCurrentStep(1);
        view->grantAccessStep()->setShowingHelpSheet(true);
        return view;
    }) << QSize(900, 600);
    QTest::addRow("loading") << Make([](QWidget* w) { return new LoadingView(w); }) << QSize(900, 600);
    QTest::addRow("empty") << Make([](QWidget* w) { return new EmptyStateView({}, w); }) << QSize(900, 600);
    QTest::addRow("toast") << Make(toastOverText) << QSize(600, 300);
    QTest::addRow("controls") << Make(controls) << QSize(600, 420);
    QTest::addRow("header-theme-button-focused") << Make([](QWidget* w) {
        auto* header = new EditorHeader(w);
        header->setTitles(
            QStringLiteral("Sales <b>team</b>"), QStringLiteral("/home/someone/Signatures/A1.mailsignature"));
        // Reached with the keyboard.
        QTest::keyClick(header, Qt::Key_Shift);
        header->findChild<QWidget*>(QStringLiteral("themeMenuButton"))->setFocus(Qt::TabFocusReason);
        return header;
    }) << QSize(600, 120);
}

void TestScreenshots::views()
{
    QFETCH(Make, make);
    QFETCH(QSize, size);
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    const auto grabAll = [&](QWidget& window, const QString& suffix) {
        QApplication::processEvents();
        QVERIFY(window.grab().save(m_folder.filePath(name + u'-' + suffix + u".png")));
        const QList<HelpSheet*> sheets = window.findChildren<HelpSheet*>();
        for (HelpSheet* sheet : sheets)
            QVERIFY(sheet->grab().save(m_folder.filePath(name + u"-sheet-" + suffix + u".png")));
    };
    for (const ColorScheme built : { ColorScheme::light, ColorScheme::dark }) {
        test::FakeAppearance appearance(built);
        AppearancePalette palette(appearance);
        QWidget window;
        window.resize(size);
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(make(&window));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto settled = [&window] {
            const QList<SaveToastView*> toasts = window.findChildren<SaveToastView*>();
            for (const SaveToastView* toast : toasts)
                if (toast->progress() != 1.0)
                    return false;
            const QList<HelpSheet*> sheets = window.findChildren<HelpSheet*>();
            for (HelpSheet* sheet : sheets)
                if (!sheet->isVisible())
                    return false;
            return true;
        };
        QTRY_VERIFY(settled());
        if (built == ColorScheme::dark) {
            grabAll(window, QStringLiteral("dark"));
            continue;
        }
        grabAll(window, QStringLiteral("light"));
        appearance.setColorScheme(ColorScheme::dark);
        grabAll(window, QStringLiteral("live-dark"));
        appearance.setColorScheme(ColorScheme::light);
        grabAll(window, QStringLiteral("live-back-to-light"));
    }
}

QTEST_MAIN(TestScreenshots)
#include "tst_screenshots.moc"
