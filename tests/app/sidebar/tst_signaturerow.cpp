#include "app/sidebar/SignatureRow.h"

#include "TestSupport.h"

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace veltrin;

Q_DECLARE_METATYPE(std::optional<QString>)

class TestSignatureRow final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void formatByteCount_data();
    void formatByteCount();
    void formatRelativeTime_data();
    void formatRelativeTime();
    void fileSize_data();
    void fileSize();
    void rowShowsAccountsAndError_data();
    void rowShowsAccountsAndError();
    void longTextsAreShortened();
};

void TestSignatureRow::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestSignatureRow::formatByteCount_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::addRow("nothing") << qint64(0) << u"Zero KB"_qs;
    QTest::addRow("one byte") << qint64(1) << u"1 byte"_qs;
    QTest::addRow("bytes") << qint64(999) << u"999 bytes"_qs;
    QTest::addRow("one kilobyte") << qint64(1000) << u"1 KB"_qs;
    QTest::addRow("kilobytes round down") << qint64(12'345) << u"12 KB"_qs;
    QTest::addRow("kilobytes round up") << qint64(1'600) << u"2 KB"_qs;
    QTest::addRow("just under a megabyte") << qint64(999'400) << u"999 KB"_qs;
    QTest::addRow("rounds into megabytes") << qint64(999'600) << u"1 MB"_qs;
    QTest::addRow("one megabyte, no zero") << qint64(1'000'000) << u"1 MB"_qs;
    QTest::addRow("megabytes with a tenth") << qint64(1'234'567) << u"1.2 MB"_qs;
    QTest::addRow("gigabytes with hundredths") << qint64(1'234'567'890) << u"1.23 GB"_qs;
    QTest::addRow("gigabytes, trailing zero dropped") << qint64(1'500'000'000) << u"1.5 GB"_qs;
    QTest::addRow("terabytes") << qint64(5'000'000'000'000) << u"5 TB"_qs;
}

void TestSignatureRow::formatByteCount()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, expected);
    QCOMPARE(SignatureRow::formatByteCount(bytes), expected);
}

void TestSignatureRow::formatRelativeTime_data()
{
    QTest::addColumn<qint64>("secondsBefore"); // negative: in the future
    QTest::addColumn<QString>("expected");
    QTest::addRow("no time") << qint64(0) << u"in 0 sec."_qs;
    QTest::addRow("seconds") << qint64(30) << u"30 sec. ago"_qs;
    QTest::addRow("five minutes") << qint64(5 * 60) << u"5 min. ago"_qs;
    QTest::addRow("minutes are whole") << qint64(59 * 60 + 59) << u"59 min. ago"_qs;
    QTest::addRow("hours") << qint64(2 * 3600 + 10) << u"2 hr. ago"_qs;
    QTest::addRow("one day") << qint64(86'400) << u"1 day ago"_qs;
    QTest::addRow("days") << qint64(3 * 86'400) << u"3 days ago"_qs;
    QTest::addRow("weeks") << qint64(15 * 86'400) << u"2 wk. ago"_qs;
    QTest::addRow("months") << qint64(40 * 86'400) << u"1 mo. ago"_qs;
    QTest::addRow("years") << qint64(800 * 86'400) << u"2 yr. ago"_qs;
    QTest::addRow("future") << qint64(-5 * 60) << u"in 5 min."_qs;
    QTest::addRow("future days") << qint64(-2 * 86'400) << u"in 2 days"_qs;
}

void TestSignatureRow::formatRelativeTime()
{
    QFETCH(qint64, secondsBefore);
    QFETCH(QString, expected);
    const QDateTime now(QDate(2026, 6, 15), QTime(12, 0), Qt::UTC);
    QCOMPARE(SignatureRow::formatRelativeTime(now.addSecs(-secondsBefore), now), expected);
}

// The size is the scan's: painting reads no file, so a file removed since shows what was found.
void TestSignatureRow::fileSize_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("scanned");
    QTest::addColumn<QString>("expected");
    QTest::addRow("empty file") << qint64(0) << true << u"Zero KB"_qs;
    QTest::addRow("small file") << qint64(1'234) << true << u"1 KB"_qs;
    QTest::addRow("not from a scan") << qint64(0) << false << u"Unknown size"_qs;
}

void TestSignatureRow::fileSize()
{
    QFETCH(qint64, size);
    QFETCH(bool, scanned);
    QFETCH(QString, expected);
    QTemporaryDir folder;
    SignatureFile signature;
    // No file at the path: nothing may be read from the disk.
    signature.filePath = QUrl::fromLocalFile(folder.filePath(u"A.mailsignature"_qs));
    signature.fileSize = size;
    if (scanned)
        signature.scannedModificationDate = QDateTime::currentDateTimeUtc().addSecs(-120);
    QCOMPARE(SignatureRow::fileSize(signature), expected);
    // The age is always there, whatever the file's state.
    QCOMPARE(SignatureRow::lastModified(signature), scanned ? u"2 min. ago"_qs : u"in 0 sec."_qs);
}

void TestSignatureRow::rowShowsAccountsAndError_data()
{
    QTest::addColumn<QStringList>("emails");
    QTest::addColumn<std::optional<QString>>("error");
    QTest::addRow("no account") << QStringList() << std::optional<QString>();
    QTest::addRow("accounts in order")
        << QStringList { u"b@example.org"_qs, u"a@example.org"_qs } << std::optional<QString>();
    QTest::addRow("with error") << QStringList { u"a@example.org"_qs }
                                << std::optional<QString>(u"Unreadable"_qs);
}

void TestSignatureRow::rowShowsAccountsAndError()
{
    QFETCH(QStringList, emails);
    QFETCH(std::optional<QString>, error);
    SignatureFile signature;
    signature.displayName = u"<b>Work</b> & more"_qs;
    signature.accountEmails = emails;
    signature.errorMessage = error;
    signature.filePath = QUrl::fromLocalFile(u"/nonexistent/A.mailsignature"_qs);
    const SignatureRow::Layout layout = SignatureRow::layout(SignatureRow::content(signature), 264);

    const auto texts = [&](SignatureRow::Part part) {
        QList<SignatureRow::Text> found;
        for (const SignatureRow::Text& text : layout.texts)
            if (text.part == part)
                found << text;
        return found;
    };
    QCOMPARE(texts(SignatureRow::Part::displayName).size(), 1);
    QCOMPARE(texts(SignatureRow::Part::displayName).first().text, signature.displayName);
    QStringList shown;
    for (const SignatureRow::Text& text : texts(SignatureRow::Part::account))
        shown << text.text;
    QCOMPARE(shown, emails);
    const QList<SignatureRow::Text> none = texts(SignatureRow::Part::noAccount);
    QCOMPARE(none.size(), emails.isEmpty() ? 1 : 0);
    if (!none.isEmpty()) {
        QCOMPARE(none.first().text, u"No account associated"_qs);
        QVERIFY(none.first().font.italic());
    }

    // Age, bullet, size, left to right on one line below the accounts.
    const SignatureRow::Text age = texts(SignatureRow::Part::lastModified).value(0);
    const SignatureRow::Text bullet = texts(SignatureRow::Part::bullet).value(0);
    const SignatureRow::Text size = texts(SignatureRow::Part::fileSize).value(0);
    QCOMPARE(size.text, u"Unknown size"_qs);
    QCOMPARE(bullet.text, u"•"_qs);
    QVERIFY(age.rect.right() < bullet.rect.left());
    QVERIFY(bullet.rect.right() < size.rect.left());
    QCOMPARE(age.rect.top(), size.rect.top());
    QVERIFY(age.rect.top() > layout.texts.at(layout.texts.size() - (error ? 5 : 4)).rect.bottom());

    const QList<SignatureRow::Text> message = texts(SignatureRow::Part::errorMessage);
    QCOMPARE(message.size(), error ? 1 : 0);
    QCOMPARE(layout.errorSymbol.isEmpty(), !error);
    if (error) {
        QCOMPARE(message.first().text, *error);
        QCOMPARE(message.first().color, Style::Color::red);
        QVERIFY(message.first().rect.top() > age.rect.bottom());
    }
    QVERIFY(!layout.shortened);
    QVERIFY(layout.height > layout.texts.last().rect.bottom());
}

// Names and addresses end in "…" where they don't fit; the full texts stay with the model.
void TestSignatureRow::longTextsAreShortened()
{
    const QString longName = QString(u"Quarterly newsletter signature "_qs).repeated(6);
    const QString longAddress = u"someone.with.a.remarkably.long.name@subdomain.of.a.long.example.org"_qs;
    SignatureRow::Content content { longName, { u"a@example.org"_qs, longAddress }, u"5 min. ago"_qs,
        u"1 KB"_qs, {} };
    const SignatureRow::Layout layout = SignatureRow::layout(content, 264);
    QVERIFY(layout.shortened);
    for (const SignatureRow::Text& text : layout.texts) {
        QVERIFY(QFontMetrics(text.font).horizontalAdvance(text.text) <= 264);
        if (text.part == SignatureRow::Part::displayName) {
            QVERIFY(text.text.endsWith(u'…'));
            QVERIFY(longName.startsWith(text.text.chopped(1)));
        }
    }
    QCOMPARE(layout.texts.at(1).text, u"a@example.org"_qs);
    QVERIFY(layout.texts.at(2).text.endsWith(u'…'));
    // A wider row shows them whole.
    QVERIFY(!SignatureRow::layout(content, 4000).shortened);
}

QTEST_MAIN(TestSignatureRow)

#include "tst_signaturerow.moc"
