#include "app/sidebar/SignatureListModel.h"

#include "TestSupport.h"

#include <QAbstractItemModelTester>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace veltrin;

namespace {

SignatureFile file(const QString& name, const QStringList& emails = {})
{
    SignatureFile signature;
    signature.id = QUuid::createUuid();
    signature.fileName = name + u".mailsignature";
    signature.displayName = name;
    signature.filePath = QUrl::fromLocalFile(u"/nonexistent/"_qs + signature.fileName);
    signature.accountEmails = emails;
    return signature;
}

// The files by display name, as a scan lists them: the same names keep their paths, with new ids.
QList<SignatureFile> scan(const QStringList& names)
{
    QList<SignatureFile> signatures;
    for (const QString& name : names)
        signatures << file(name);
    return signatures;
}

QStringList shownNames(const SignatureListModel& model)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names << model.index(row).data().toString();
    return names;
}

} // namespace

class TestSignatureListModel final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void rescansUpdateInPlace_data();
    void rescansUpdateInPlace();
    void rowsReadAsShown();
    void agesMoveOn();
};

void TestSignatureListModel::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestSignatureListModel::rescansUpdateInPlace_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<int>("kept"); // persistent indexes that still point at their file
    QTest::addRow("same files") << QStringList { u"A"_qs, u"B"_qs, u"C"_qs }
                                << QStringList { u"A"_qs, u"B"_qs, u"C"_qs } << 3;
    QTest::addRow("one added") << QStringList { u"A"_qs, u"C"_qs }
                               << QStringList { u"A"_qs, u"B"_qs, u"C"_qs } << 2;
    QTest::addRow("one removed") << QStringList { u"A"_qs, u"B"_qs, u"C"_qs }
                                 << QStringList { u"A"_qs, u"C"_qs } << 2;
    QTest::addRow("reordered") << QStringList { u"A"_qs, u"B"_qs, u"C"_qs }
                               << QStringList { u"C"_qs, u"A"_qs, u"B"_qs } << 3;
    QTest::addRow("all new") << QStringList { u"A"_qs, u"B"_qs } << QStringList { u"X"_qs, u"Y"_qs, u"Z"_qs }
                             << 0;
    QTest::addRow("emptied") << QStringList { u"A"_qs, u"B"_qs } << QStringList() << 0;
    QTest::addRow("from nothing") << QStringList() << QStringList { u"A"_qs } << 0;
    QTest::addRow("mixed") << QStringList { u"A"_qs, u"B"_qs, u"C"_qs, u"D"_qs }
                           << QStringList { u"D"_qs, u"B"_qs, u"E"_qs, u"A"_qs } << 3;
}

// A rescan gives the same files new ids; rows that stay keep their indexes and are never reset.
void TestSignatureListModel::rescansUpdateInPlace()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    QFETCH(int, kept);
    SignatureListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setSignatures(scan(before));
    QCOMPARE(shownNames(model), before);

    QList<QPersistentModelIndex> persistent;
    for (int row = 0; row < model.rowCount(); ++row)
        persistent << QPersistentModelIndex(model.index(row));
    QSignalSpy resets(&model, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy layouts(&model, &QAbstractItemModel::layoutAboutToBeChanged);

    const QList<SignatureFile> rescanned = scan(after);
    model.setSignatures(rescanned);
    QCOMPARE(resets.size(), 0);
    QCOMPARE(layouts.size(), 0);
    QCOMPARE(shownNames(model), after);
    QCOMPARE(model.signatures(), rescanned);
    for (int row = 0; row < rescanned.size(); ++row) {
        QCOMPARE(model.rowOf(rescanned.at(row)), row);
        QCOMPARE(model.signature(row)->id, rescanned.at(row).id);
    }
    int stillPointing = 0;
    for (qsizetype i = 0; i < persistent.size(); ++i)
        if (persistent.at(i).isValid() && persistent.at(i).data().toString() == before.at(i))
            ++stillPointing;
    QCOMPARE(stillPointing, kept);
}

// The age texts come from the clock: the model says they changed, so views paint them anew.
void TestSignatureListModel::agesMoveOn()
{
    SignatureListModel model;
    model.setAgeRefreshInterval(20);
    QSignalSpy changed(&model, &SignatureListModel::dataChanged);
    QTest::qWait(60);
    QCOMPARE(changed.count(), 0); // nothing to refresh in an empty list
    model.setSignatures({ file(u"A"_qs), file(u"B"_qs) });
    QVERIFY(changed.wait());
    QCOMPARE(changed.last().at(0).toModelIndex(), model.index(0));
    QCOMPARE(changed.last().at(1).toModelIndex(), model.index(1));
    QVERIFY(changed.last().at(2).value<QList<int>>().contains(SignatureListModel::LastModifiedRole));
    model.setSignatures({});
    changed.clear();
    QTest::qWait(60);
    QCOMPARE(changed.count(), 0); // emptied again: the clock stops
}

void TestSignatureListModel::rowsReadAsShown()
{
    QTemporaryDir folder;
    SignatureFile withAccounts = file(u"Work"_qs, { u"zoe@example.org"_qs, u"z@example.org"_qs });
    // As a scan found it; no file is there, and none is read.
    withAccounts.filePath = QUrl::fromLocalFile(folder.filePath(u"Work.mailsignature"_qs));
    withAccounts.fileSize = 1'500;
    // Half a minute old: the time is read twice below, and a time of this very moment reads
    // "in 0 sec." or "0 sec. ago" depending on the millisecond of each reading.
    withAccounts.scannedModificationDate = QDateTime::currentDateTimeUtc().addSecs(-30);
    SignatureFile broken = file(u"Old"_qs);
    broken.errorMessage = u"The file could not be read completely."_qs;
    SignatureListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setSignatures({ withAccounts, broken });

    const QModelIndex first = model.index(0);
    QCOMPARE(first.data(Qt::AccessibleTextRole).toString(),
        u"Work, zoe@example.org, z@example.org, "_qs
            + first.data(SignatureListModel::LastModifiedRole).toString() + u", 2 KB");
    QVERIFY(first.data(SignatureListModel::LastModifiedRole).toString().contains(u"sec."));
    QVERIFY(!first.data(Qt::AccessibleDescriptionRole).isValid());
    QCOMPARE(first.data(Qt::ToolTipRole).toString(), u"Work\nzoe@example.org\nz@example.org"_qs);

    const QModelIndex second = model.index(1);
    QVERIFY(second.data(Qt::AccessibleTextRole).toString().startsWith(u"Old, No account associated, "));
    QVERIFY(second.data(Qt::AccessibleTextRole).toString().endsWith(u", Unknown size"));
    QCOMPARE(second.data(Qt::AccessibleDescriptionRole).toString(), *broken.errorMessage);
    QCOMPARE(second.data(SignatureListModel::ErrorMessageRole).toString(), *broken.errorMessage);
}

QTEST_MAIN(TestSignatureListModel)

#include "tst_signaturelistmodel.moc"
