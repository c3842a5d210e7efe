#include "FakeAppearance.h"
#include "LookChecks.h"
#include "app/look/AppearancePalette.h"
#include "app/look/Controls.h"
#include "app/window/EmptyStateView.h"
#include "app/window/LoadingView.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QTest>

#include <memory>

using namespace veltrin;

class TestStateViews final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void loadingShowsProgressAndText();
    void rescanRunsOncePerPress();
    void hintKeepsItsStyleAtEveryWidth_data();
    void hintKeepsItsStyleAtEveryWidth();
    void followsTheAppearanceWhileOnScreen_data();
    void followsTheAppearanceWhileOnScreen();

private:
    static QStringList texts(const QWidget& view);
};

QStringList TestStateViews::texts(const QWidget& view)
{
    QStringList result;
    const QList<QLabel*> labels = view.findChildren<QLabel*>();
    for (const QLabel* label : labels)
        if (!label->text().isEmpty())
            result.append(label->text());
    return result;
}

void TestStateViews::loadingShowsProgressAndText()
{
    LoadingView view;
    view.resize(900, 600);
    view.show();
    QCOMPARE(texts(view), QStringList { QStringLiteral("Scanning for signatures...") });
    QWidget* progress = view.findChild<QWidget*>(QStringLiteral("progress"));
    QVERIFY(progress && progress->isVisible());
}

void TestStateViews::rescanRunsOncePerPress()
{
    int rescans = 0;
    EmptyStateView view([&rescans] { ++rescans; });
    view.show();
    QCOMPARE(view.rescanButton()->text(), QStringLiteral("Rescan Folder"));
    QVERIFY(!view.rescanButton()->icon().isNull());
    view.rescanButton()->click();
    QCOMPARE(rescans, 1);
    QTest::mouseClick(view.rescanButton(), Qt::LeftButton);
    QCOMPARE(rescans, 2);
    QCOMPARE(texts(view),
        (QStringList { QStringLiteral("No signatures found"),
            QStringLiteral("No .mailsignature files found in your Mail signatures folder"),
            QStringLiteral("You can create signatures in Apple Mail"),
            QStringLiteral("Mail \u2192 Settings \u2192 Signatures") }));
}

void TestStateViews::hintKeepsItsStyleAtEveryWidth_data()
{
    QTest::addColumn<int>("width");
    QTest::addRow("narrowest window") << 900;
    QTest::addRow("wide window") << 1800;
}

void TestStateViews::hintKeepsItsStyleAtEveryWidth()
{
    QFETCH(int, width);
    EmptyStateView view({});
    view.resize(width, 600);
    view.show();
    QLabel* hint = view.hintLabel();
    // Monospaced as drawn: narrow and wide letters take the same room.
    const QFontMetricsF hintMetrics(hint->font());
    QCOMPARE(hintMetrics.horizontalAdvance(QStringLiteral("iiii.lll")),
        hintMetrics.horizontalAdvance(QStringLiteral("WWWWMMmm")));
    auto* box = qobject_cast<MaterialBox*>(hint->parentWidget());
    QVERIFY(box);
    QCOMPARE(box->cornerRadius(), 6);
    QCOMPARE(box->layout()->contentsMargins(), QMargins(16, 8, 16, 8));

    const QList<QLabel*> labels = view.findChildren<QLabel*>();
    int wrapping = 0;
    for (QLabel* label : labels) {
        if (!label->wordWrap())
            continue;
        ++wrapping;
        QVERIFY(label->alignment() & Qt::AlignHCenter);
        QCOMPARE(label->contentsMargins().left(), 40);
        QCOMPARE(label->contentsMargins().right(), 40);
    }
    QCOMPARE(wrapping, 2);
}

void TestStateViews::followsTheAppearanceWhileOnScreen_data()
{
    QTest::addColumn<bool>("empty");
    QTest::addColumn<int>("texts");
    QTest::addRow("loading") << false << 1;
    QTest::addRow("empty") << true << 4;
}

void TestStateViews::followsTheAppearanceWhileOnScreen()
{
    QFETCH(bool, empty);
    QFETCH(int, texts);
    test::FakeAppearance appearance;
    AppearancePalette palette(appearance);
    std::unique_ptr<QWidget> view;
    if (empty)
        view = std::make_unique<EmptyStateView>(std::function<void()>());
    else
        view = std::make_unique<LoadingView>();
    view->resize(900, 600);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    QCOMPARE(test::shownTexts(*view).size(), texts);
    QTRY_COMPARE(test::textsNotSuiting(*view, ColorScheme::light), QStringList());
    const QList<QImage> lightSymbols = test::shownPictures(*view);
    QCOMPARE(lightSymbols.size(), empty ? 1 : 0);
    QWidget* progress = view->findChild<QWidget*>(QStringLiteral("progress"));
    const QImage lightProgress = progress ? progress->grab().toImage() : QImage();

    appearance.setColorScheme(ColorScheme::dark);
    QTRY_COMPARE(test::textsNotSuiting(*view, ColorScheme::dark), QStringList());
    const QList<QImage> darkSymbols = test::shownPictures(*view);
    for (int i = 0; i < darkSymbols.size(); ++i)
        QVERIFY(darkSymbols[i] != lightSymbols[i]);
    if (progress)
        QVERIFY(progress->grab().toImage() != lightProgress);
    if (auto* emptyView = dynamic_cast<EmptyStateView*>(view.get())) {
        // The hint's box is painted in the dark material now.
        QWidget* box = emptyView->hintLabel()->parentWidget();
        QVERIFY(qGray(box->grab().toImage().pixel(2, box->height() / 2)) < 128);
    }

    appearance.setColorScheme(ColorScheme::light);
    QTRY_COMPARE(test::textsNotSuiting(*view, ColorScheme::light), QStringList());
    QTRY_COMPARE(test::shownPictures(*view), lightSymbols);
}

QTEST_MAIN(TestStateViews)
#include "tst_stateviews.moc"
