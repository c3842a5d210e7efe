#include "FakeAppearance.h"
#include "app/editor/SaveToastView.h"
#include "app/look/AppearancePalette.h"

#include <QTest>

using namespace veltrin;

class TestSaveToast final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void boxIsTranslucent_data();
    void boxIsTranslucent();
    void followsTheAppearanceWhileShown();
};

void TestSaveToast::boxIsTranslucent_data()
{
    QTest::addColumn<ColorScheme>("scheme");
    QTest::addRow("light") << ColorScheme::light;
    QTest::addRow("dark") << ColorScheme::dark;
}

void TestSaveToast::boxIsTranslucent()
{
    QFETCH(ColorScheme, scheme);
    test::FakeAppearance appearance(scheme);
    AppearancePalette palette(appearance);
    QWidget window;
    window.resize(600, 300);
    auto* red = new QWidget(&window);
    red->setGeometry(0, 0, 600, 150);
    red->setAutoFillBackground(true);
    QPalette redPalette = red->palette();
    redPalette.setColor(QPalette::Window, Qt::red);
    red->setPalette(redPalette);
    auto* toast = new SaveToastView(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    toast->placeIn(window.rect(), 60);
    toast->present();
    QTRY_COMPARE(toast->progress(), 1.0);

    // Just inside the box's left edge, before the symbol: the red behind must show through.
    const QImage look = window.grab().toImage();
    const QPoint inside = toast->geometry().topLeft() + QPoint(10, toast->height() / 2);
    const QColor seen = look.pixelColor(inside);
    QVERIFY2(seen.red() > seen.green() + 60, qPrintable(seen.name()));
    QVERIFY2(seen.green() > 20, qPrintable(seen.name()));
}

void TestSaveToast::followsTheAppearanceWhileShown()
{
    test::FakeAppearance appearance;
    AppearancePalette palette(appearance);
    QWidget window;
    window.resize(600, 300);
    auto* toast = new SaveToastView(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    toast->placeIn(window.rect(), 60);
    toast->present();
    QTRY_COMPARE(toast->progress(), 1.0);

    // The text's darkest and lightest ink, over the toast's text area.
    const auto inkRange = [toast] {
        const QImage look = toast->grab().toImage();
        int darkest = 255;
        int lightest = 0;
        for (int y = toast->height() / 3; y < toast->height() * 2 / 3; ++y)
            for (int x = toast->width() / 2; x < toast->width() - 20; ++x) {
                darkest = qMin(darkest, qGray(look.pixel(x, y)));
                lightest = qMax(lightest, qGray(look.pixel(x, y)));
            }
        return std::pair(darkest, lightest);
    };
    QVERIFY(inkRange().first < 90);
    appearance.setColorScheme(ColorScheme::dark);
    QTRY_VERIFY(inkRange().second > 170);
    QVERIFY(inkRange().first > 20);
    appearance.setColorScheme(ColorScheme::light);
    QTRY_VERIFY(inkRange().first < 90);
}

QTEST_MAIN(TestSaveToast)
#include "tst_savetoast.moc"
