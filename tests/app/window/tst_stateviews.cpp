#include "app/look/Controls.h"
#include "app/window/EmptyStateView.h"
#include "app/window/LoadingView.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QTest>

using namespace veltrin;

class TestStateViews final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void loadingShowsProgressAndText();
    void rescanRunsOncePerPress();
    void hintKeepsItsStyleAtEveryWidth_data();
    void hintKeepsItsStyleAtEveryWidth();

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

QTEST_MAIN(TestStateViews)
#include "tst_stateviews.moc"
