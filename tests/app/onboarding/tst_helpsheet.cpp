#include "app/onboarding/HelpSection.h"
#include "app/onboarding/HelpSheet.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using namespace veltrin;

class TestHelpSheet final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fixedSizeWhateverTheWindow_data();
    void fixedSizeWhateverTheWindow();
    void sectionsInOrder();
    void sectionsScrollBetweenFixedHeaderAndFooter();
    void bothButtonsCloseIt_data();
    void bothButtonsCloseIt();
};

void TestHelpSheet::fixedSizeWhateverTheWindow_data()
{
    QTest::addColumn<QSize>("windowSize");
    QTest::addRow("smallest window") << QSize(900, 600);
    QTest::addRow("large window") << QSize(2000, 1400);
}

void TestHelpSheet::fixedSizeWhateverTheWindow()
{
    QFETCH(QSize, windowSize);
    QWidget window;
    window.resize(windowSize);
    window.show();
    HelpSheet sheet(&window);
    sheet.open();
    QVERIFY(sheet.isVisible());
    QCOMPARE(sheet.windowModality(), Qt::WindowModal);
    QCOMPARE(sheet.size(), QSize(550, 500));
    sheet.resize(800, 800);
    QCOMPARE(sheet.size(), QSize(550, 500));
}

void TestHelpSheet::sectionsInOrder()
{
    HelpSheet sheet;
    const QStringList titles { QStringLiteral("Why do I need to grant access?"),
        QStringLiteral("What happens when I grant access?"), QStringLiteral("Is my data safe?"),
        QStringLiteral("What data does Veltrin collect?") };
    QCOMPARE(sheet.sections().size(), titles.size());
    for (int i = 0; i < titles.size(); ++i)
        QCOMPARE(sheet.sections()[i]->title(), titles[i]);
    QVERIFY(sheet.sections()[1]->text().contains(
        QStringLiteral("(usually ~/Library/Mail/V*/MailData/Signatures)")));
    QVERIFY(sheet.sections()[3]->text().endsWith(
        QStringLiteral("We only use anonymous user analytics to improve the app.")));
    QCOMPARE(sheet.gotItButton()->text(), QStringLiteral("Got it"));
    QVERIFY(
        sheet.findChild<QLabel*>() && sheet.findChildren<QLabel*>().first()->text() == u"How Veltrin Works");
}

void TestHelpSheet::sectionsScrollBetweenFixedHeaderAndFooter()
{
    HelpSheet sheet;
    sheet.show();
    QScrollBar* bar = sheet.scrollArea()->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    const QRect closeBefore = sheet.closeButton()->geometry();
    const QRect gotItBefore = sheet.gotItButton()->geometry();

    bar->setValue(bar->maximum());
    QCoreApplication::processEvents();
    QCOMPARE(sheet.closeButton()->geometry(), closeBefore);
    QCOMPARE(sheet.gotItButton()->geometry(), gotItBefore);
    QVERIFY(sheet.rect().contains(closeBefore));
    QVERIFY(sheet.rect().contains(gotItBefore));

    // Scrolled to the end, the last section is fully inside the visible area.
    HelpSection* last = sheet.sections().last();
    const QPoint bottom = last->mapTo(sheet.scrollArea()->viewport(), last->rect().bottomLeft());
    QVERIFY(bottom.y() <= sheet.scrollArea()->viewport()->height());
    for (HelpSection* section : sheet.sections()) {
        QLabel* text = section->textLabel();
        QVERIFY(text->wordWrap());
        QVERIFY(text->height() >= text->heightForWidth(text->width()));
    }
}

void TestHelpSheet::bothButtonsCloseIt_data()
{
    QTest::addColumn<bool>("useCloseButton");
    QTest::addRow("close button") << true;
    QTest::addRow("Got it") << false;
}

void TestHelpSheet::bothButtonsCloseIt()
{
    QFETCH(bool, useCloseButton);
    QWidget window;
    window.show();
    auto* sheet = new HelpSheet(&window);
    QSignalSpy finished(sheet, &QDialog::finished);
    sheet->open();
    (useCloseButton ? sheet->closeButton() : sheet->gotItButton())->click();
    QCOMPARE(finished.size(), 1);
    QVERIFY(!sheet->isVisible());
}

QTEST_MAIN(TestHelpSheet)
#include "tst_helpsheet.moc"
