#include "platform/Preferences.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace veltrin;

class TestPreferences : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void valuesKeepTheirTypeAcrossARestart_data();
    void valuesKeepTheirTypeAcrossARestart();
    void typedReadersRefuseOtherKinds();
    void removeAndMissingKeys();
    void corruptFileReadsAsEmpty();
};

void TestPreferences::valuesKeepTheirTypeAcrossARestart_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addRow("data") << QVariant(QByteArray("\x00\x01bookmark", 10));
    QTest::addRow("empty data") << QVariant(QByteArray());
    QTest::addRow("bool") << QVariant(true);
    QTest::addRow("text") << QVariant(QStringLiteral("@not an escape, ümlaut"));
    QTest::addRow("date") << QVariant(QDateTime(QDate(2026, 12, 10), QTime(9, 45, 3), Qt::UTC));
}

void TestPreferences::valuesKeepTheirTypeAcrossARestart()
{
    QFETCH(QVariant, value);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("prefs"));
    SettingsPreferences(path).set(QStringLiteral("key"), value);

    const SettingsPreferences reopened(path);
    const QVariant read = reopened.object(QStringLiteral("key"));
    QCOMPARE(read.typeId(), value.typeId());
    QCOMPARE(read, value);
}

void TestPreferences::typedReadersRefuseOtherKinds()
{
    QTemporaryDir dir;
    SettingsPreferences prefs(dir.filePath(QStringLiteral("prefs")));
    prefs.set(QStringLiteral("text"), QStringLiteral("abc"));
    prefs.set(QStringLiteral("flag"), true);
    prefs.set(QStringLiteral("bytes"), QByteArray());

    QVERIFY(!prefs.data(QStringLiteral("text")));
    QVERIFY(prefs.data(QStringLiteral("bytes")));
    QVERIFY(!prefs.date(QStringLiteral("text")));
    QVERIFY(!prefs.string(QStringLiteral("bytes")));
    QVERIFY(prefs.boolValue(QStringLiteral("flag")));
    QVERIFY(!prefs.boolValue(QStringLiteral("text")));
}

void TestPreferences::removeAndMissingKeys()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("prefs"));
    SettingsPreferences prefs(path);
    QVERIFY(!prefs.object(QStringLiteral("absent")).isValid());
    QVERIFY(!prefs.boolValue(QStringLiteral("absent")));
    prefs.set(QStringLiteral("key"), QStringLiteral("v"));
    prefs.remove(QStringLiteral("key"));
    QVERIFY(!SettingsPreferences(path).object(QStringLiteral("key")).isValid());
}

void TestPreferences::corruptFileReadsAsEmpty()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("prefs"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("this is not a preferences file");
    file.close();
    const SettingsPreferences prefs(path);
    QVERIFY(!prefs.object(QStringLiteral("this")).isValid());
}

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
