#include "FakeAppearance.h"
#include "LookChecks.h"
#include "app/editor/EditorHeader.h"
#include "app/look/AppearancePalette.h"
#include "app/look/Controls.h"
#include "app/look/Symbols.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

using namespace veltrin;
using veltrin::test::FakeAppearance;

namespace {

enum class UserInput { key, click };

// What the user did last, before focus moves: a key press, or a click on a caption that takes no focus.
void give(UserInput input, QWidget& caption)
{
    if (input == UserInput::key)
        QTest::keyClick(&caption, Qt::Key_Shift);
    else
        QTest::mouseClick(&caption, Qt::LeftButton);
}

// The share of a picture's pixels that carry ink.
double inkShare(const QImage& image)
{
    int inked = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            inked += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
    return double(inked) / (image.width() * image.height());
}

QImage picture(const QString& symbol, int size = 64)
{
    return Symbols::pixmap(symbol, size, Qt::black).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

Q_DECLARE_METATYPE(UserInput)

class TestLook final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void applicationPaletteFollowsTheAppearance();
    void controlsRestyleWhileOnScreen();
    void textColourKeepsItsNameAcrossSwitches();
    void themeSymbolsAreDistinct();
    void drawnSymbolsHaveTheirShape();
    void drawnSymbolsDoNotDependOnTheIconTheme();
    void prominentButtonShowsKeyboardFocusOnly_data();
    void prominentButtonShowsKeyboardFocusOnly();
    void themeButtonShowsKeyboardFocus_data();
    void themeButtonShowsKeyboardFocus();
};

void TestLook::applicationPaletteFollowsTheAppearance()
{
    FakeAppearance appearance(ColorScheme::dark);
    AppearancePalette palette(appearance);
    QVERIFY(Style::systemIsDark());
    QWidget widget;
    widget.show();
    QVERIFY(Style::isDark(widget.palette()));
    appearance.setColorScheme(ColorScheme::light);
    QVERIFY(!Style::systemIsDark());
    QTRY_VERIFY(!Style::isDark(widget.palette()));
    QCOMPARE(QApplication::palette().color(QPalette::Highlight), Style::color(Style::Color::blue, false));
}

void TestLook::controlsRestyleWhileOnScreen()
{
    FakeAppearance appearance;
    AppearancePalette palette(appearance);
    QWidget view;
    auto* layout = new QVBoxLayout(&view);
    QLabel* primary = Controls::textLabel(
        QStringLiteral("Primary"), Style::font(Style::TextStyle::body), Style::Color::primary, &view);
    layout->addWidget(primary);
    layout->addWidget(Controls::textLabel(
        QStringLiteral("Secondary"), Style::font(Style::TextStyle::body), Style::Color::secondary, &view));
    layout->addWidget(Controls::symbolLabel(QStringLiteral("doc.text"), 32, Style::Color::secondary, &view));
    layout->addWidget(Controls::gradientSymbolLabel(QStringLiteral("signature"), 32, &view));
    layout->addWidget(Controls::label(QStringLiteral("exclamationmark.triangle.fill"),
        new QLabel(QStringLiteral("Warning")), Style::Color::secondary, &view));
    QFrame* divider = Controls::divider(&view);
    layout->addWidget(divider);
    QPushButton* plain = Controls::plainButton(&view);
    plain->setText(QStringLiteral("Plain"));
    Controls::setTextColor(plain, Style::Color::secondary);
    layout->addWidget(plain);
    view.resize(300, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    const QList<QImage> lightPictures = test::shownPictures(view);
    QCOMPARE(lightPictures.size(), 3);
    // The line against the window just above it: darker in light, lighter in dark.
    const auto lineContrast = [&view, divider] {
        const QImage look = view.grab().toImage();
        const QPoint line = divider->geometry().center();
        return qGray(look.pixel(line)) - qGray(look.pixel(line - QPoint(0, 2)));
    };
    QTRY_VERIFY(lineContrast() < 0);
    QTRY_COMPARE(test::textsNotSuiting(view, ColorScheme::light), QStringList());
    QCOMPARE(test::shownTexts(view).size(), 4);

    appearance.setColorScheme(ColorScheme::dark);
    QTRY_COMPARE(test::textsNotSuiting(view, ColorScheme::dark), QStringList());
    QTRY_COMPARE(primary->palette().color(QPalette::WindowText), Style::color(Style::Color::primary, true));
    const QList<QImage> darkPictures = test::shownPictures(view);
    for (int i = 0; i < darkPictures.size(); ++i)
        QVERIFY2(darkPictures[i] != lightPictures[i], qPrintable(QString::number(i)));
    QVERIFY(lineContrast() > 0);

    appearance.setColorScheme(ColorScheme::light);
    QTRY_COMPARE(test::textsNotSuiting(view, ColorScheme::light), QStringList());
    QTRY_COMPARE(test::shownPictures(view), lightPictures);
}

void TestLook::textColourKeepsItsNameAcrossSwitches()
{
    FakeAppearance appearance;
    AppearancePalette palette(appearance);
    QLineEdit field;
    Controls::setTextColor(&field, Style::Color::secondary);
    Controls::setTextColor(&field, Style::Color::red);
    field.show();
    appearance.setColorScheme(ColorScheme::dark);
    QTRY_COMPARE(field.palette().color(QPalette::Text), Style::color(Style::Color::red, true));
    appearance.setColorScheme(ColorScheme::light);
    QTRY_COMPARE(field.palette().color(QPalette::Text), Style::color(Style::Color::red, false));
    // The window itself still follows the appearance; only the ink is the widget's own.
    QVERIFY(!Style::isDark(field.palette()));
}

void TestLook::themeSymbolsAreDistinct()
{
    const QStringList symbols { QStringLiteral("circle.lefthalf.filled"), QStringLiteral("sun.max.fill"),
        QStringLiteral("moon.fill") };
    for (int i = 0; i < symbols.size(); ++i)
        for (int j = i + 1; j < symbols.size(); ++j)
            QVERIFY2(picture(symbols[i], 16) != picture(symbols[j], 16),
                qPrintable(symbols[i] + u" and " + symbols[j]));
    // Half of the system symbol is filled, the other half only outlined.
    const QImage half = picture(QStringLiteral("circle.lefthalf.filled"));
    QVERIFY(qAlpha(half.pixel(20, 32)) > 200);
    QCOMPARE(qAlpha(half.pixel(44, 32)), 0);
}

void TestLook::drawnSymbolsHaveTheirShape()
{
    // A filled disc with the check cut out of it, not a bare check.
    const QImage check = picture(QStringLiteral("checkmark.circle.fill"));
    QVERIFY(qAlpha(check.pixel(32, 10)) > 200);
    QVERIFY(qAlpha(check.pixel(10, 32)) > 200);
    QCOMPARE(qAlpha(check.pixel(qRound(0.43 * 64), qRound(0.67 * 64))), 0);
    QVERIFY(inkShare(check) > 0.4);

    // A folder whose corner holds a round badge with a question mark cut out of it.
    const QImage folder = picture(QStringLiteral("folder.badge.questionmark"));
    QVERIFY(qAlpha(folder.pixel(16, 30)) > 200);
    // The gap between the folder and its badge, left of the badge.
    QCOMPARE(qAlpha(folder.pixel(32, 46)), 0);
    int holesInBadge = 0;
    for (int y = qRound(0.60 * 64); y < qRound(0.84 * 64); ++y)
        for (int x = qRound(0.66 * 64); x < qRound(0.82 * 64); ++x)
            holesInBadge += qAlpha(folder.pixel(x, y)) < 60 ? 1 : 0;
    QVERIFY2(holesInBadge > 10, "no question mark in the badge");
}

void TestLook::drawnSymbolsDoNotDependOnTheIconTheme()
{
    const QString theme = QIcon::themeName();
    const QImage check = picture(QStringLiteral("checkmark.circle.fill"));
    const QImage folder = picture(QStringLiteral("folder.badge.questionmark"));
    const QImage system = picture(QStringLiteral("circle.lefthalf.filled"));
    QIcon::setThemeName(QStringLiteral("veltrin-no-such-theme"));
    QCOMPARE(picture(QStringLiteral("checkmark.circle.fill")), check);
    QCOMPARE(picture(QStringLiteral("folder.badge.questionmark")), folder);
    QCOMPARE(picture(QStringLiteral("circle.lefthalf.filled")), system);
    // Without any theme the sun and the moon are drawn, and still differ.
    QVERIFY(picture(QStringLiteral("sun.max.fill")) != picture(QStringLiteral("moon.fill")));
    QIcon::setThemeName(theme);
}

void TestLook::prominentButtonShowsKeyboardFocusOnly_data()
{
    QTest::addColumn<UserInput>("lastInput");
    QTest::addColumn<Qt::FocusReason>("reason");
    QTest::addColumn<bool>("ring");
    QTest::addRow("tab") << UserInput::key << Qt::TabFocusReason << true;
    QTest::addRow("back tab") << UserInput::key << Qt::BacktabFocusReason << true;
    QTest::addRow("mnemonic") << UserInput::key << Qt::ShortcutFocusReason << true;
    QTest::addRow("click") << UserInput::click << Qt::MouseFocusReason << false;
    QTest::addRow("window opening") << UserInput::click << Qt::ActiveWindowFocusReason << false;
    QTest::addRow("window back by the keyboard") << UserInput::key << Qt::ActiveWindowFocusReason << true;
    // A view hands focus on after a change of state: the way there decides.
    QTest::addRow("state change after a click") << UserInput::click << Qt::OtherFocusReason << false;
    QTest::addRow("state change after a key") << UserInput::key << Qt::OtherFocusReason << true;
    // A control that became disabled passes focus on as Back Tab would.
    QTest::addRow("passed on after a click") << UserInput::click << Qt::BacktabFocusReason << false;
}

void TestLook::prominentButtonShowsKeyboardFocusOnly()
{
    QFETCH(UserInput, lastInput);
    QFETCH(Qt::FocusReason, reason);
    QFETCH(bool, ring);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* caption = new QLabel(QStringLiteral("Caption"));
    QPushButton* other = Controls::prominentButton(QStringLiteral("Other"), Controls::ControlSize::large);
    QPushButton* button
        = Controls::prominentButton(QStringLiteral("Continue"), Controls::ControlSize::large, 300);
    layout->addWidget(caption);
    layout->addWidget(other);
    layout->addWidget(button);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    give(lastInput, *caption);
    other->setFocus(Qt::OtherFocusReason);
    const QImage unfocused = button->grab().toImage();
    button->setFocus(reason);
    QTRY_VERIFY(button->hasFocus());
    const QImage focused = button->grab().toImage();
    // The ring lies outside the button's body, at its edge.
    const QPoint edge(1, button->height() / 2);
    QCOMPARE(focused.pixel(edge) != unfocused.pixel(edge), ring);
    if (ring) {
        const QColor ringColour = focused.pixelColor(edge);
        QVERIFY(ringColour.blue() > ringColour.red() + 40);
    }
}

void TestLook::themeButtonShowsKeyboardFocus_data()
{
    QTest::addColumn<UserInput>("lastInput");
    QTest::addColumn<Qt::FocusReason>("reason");
    QTest::addColumn<bool>("ring");
    QTest::addRow("tab") << UserInput::key << Qt::TabFocusReason << true;
    QTest::addRow("menu closed from the keyboard") << UserInput::key << Qt::PopupFocusReason << true;
    QTest::addRow("menu closed by a click") << UserInput::click << Qt::PopupFocusReason << false;
    QTest::addRow("state change after a click") << UserInput::click << Qt::OtherFocusReason << false;
}

// The theme button is only 16 by 11: its ring goes round it, outside, drawn by the header.
void TestLook::themeButtonShowsKeyboardFocus()
{
    QFETCH(UserInput, lastInput);
    QFETCH(Qt::FocusReason, reason);
    QFETCH(bool, ring);
    EditorHeader header;
    header.resize(600, header.sizeHint().height());
    header.show();
    QVERIFY(QTest::qWaitForWindowActive(&header));
    auto* button = header.findChild<QToolButton*>(QStringLiteral("themeMenuButton"));
    auto* picker = header.findChild<QWidget*>(QStringLiteral("previewSegment"));
    auto* name = header.findChild<QWidget*>(QStringLiteral("displayName"));
    QVERIFY(button && picker && name);
    QCOMPARE(button->size(), QSize(16, 11));
    give(lastInput, *name);
    picker->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(picker->hasFocus());
    const QImage unfocused = header.grab().toImage();
    button->setFocus(reason);
    QTRY_VERIFY(button->hasFocus());
    const QImage focused = header.grab().toImage();
    const QPoint beside = button->mapTo(&header, QPoint(-2, button->height() / 2));
    QCOMPARE(focused.pixel(beside) != unfocused.pixel(beside), ring);
    if (ring) {
        const QColor ringColour = focused.pixelColor(beside);
        QVERIFY2(ringColour.blue() > ringColour.red() + 40, qPrintable(ringColour.name()));
    }
    // The ring goes with the focus.
    picker->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(!button->hasFocus());
    QCOMPARE(header.grab().toImage().pixel(beside), unfocused.pixel(beside));
}

QTEST_MAIN(TestLook)
#include "tst_look.moc"
