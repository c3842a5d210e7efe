#include "FakeFileAttributes.h"
#include "ScriptedFileOperations.h"
#include "TestSupport.h"
#include "store/SignatureReader.h"
#include "store/SignatureRewriter.h"
#include "store/SignatureWriter.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace veltrin;
using namespace Qt::StringLiterals;
using veltrin::test::FakeFileAttributes;

namespace {

const QDateTime noon = QDateTime(QDate(2025, 1, 31), QTime(12, 0), Qt::UTC);

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// What Python's email package finds in the file after a save, compared with the file before.
QJsonObject outsideReading(const QString& before, const QString& after)
{
    const QString python = QStandardPaths::findExecutable(u"python3"_s);
    if (python.isEmpty()) {
        QTest::qFail("python3 is missing; the package list installs it", __FILE__, __LINE__);
        return {};
    }
    QProcess checker;
    checker.start(python, { test::fixturePath(u"../store/mimecheck.py"_s), before, after });
    if (!checker.waitForFinished(60000) || checker.exitStatus() != QProcess::NormalExit
        || checker.exitCode() != 0) {
        QTest::qFail(checker.readAllStandardError().constData(), __FILE__, __LINE__);
        return {};
    }
    return QJsonDocument::fromJson(checker.readAllStandardOutput()).object();
}

// Python's decoder turns CR LF into LF, and the line break before a delimiter belongs to the
// delimiter there, so the final line break of a part is not its text.
QString comparable(QString text)
{
    text.replace(u"\r\n"_s, u"\n"_s);
    if (text.endsWith(u'\n'))
        text.chop(1);
    return text;
}

} // namespace

class TestSavedShapes : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void savesInTheFilesOwnShape_data();
    void savesInTheFilesOwnShape();
    void changesOnlyWhatTheEditNeeds_data();
    void changesOnlyWhatTheEditNeeds();
};

void TestSavedShapes::savesInTheFilesOwnShape_data()
{
    QTest::addColumn<QString>("fixture");
    // The edit: "EDITME" in the text shown is replaced by this, or, where `outsideHtml` is
    // given, the whole text is, and the outside parser should find that HTML.
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("outsideHtml");
    // The charset that the HTML part declares afterwards, as the outside parser reads it.
    QTest::addColumn<QString>("charset");

    const QString unicode = u"Zo\u00EB \u2713 \U0001F600 = =41 "_s + QString(90, u'-');
    const QString latin = u"Zo\u00EB caf\u00E9 = =41 "_s + QString(90, u'-');
    const QString newHtml = u"<p>New \u00E9 text</p>\n"_s;
    QTest::addRow("related, QP HTML, images, OBJECT, PDF")
        << u"related-qp"_s << unicode << QString() << u"utf-8"_s;
    QTest::addRow("multipart without HTML part") << u"no-html-part"_s << unicode << QString() << QString();
    QTest::addRow("Base64 HTML part replaced by HTML")
        << u"base64-html"_s << newHtml << newHtml << u"utf-8"_s;
    QTest::addRow("Base64 HTML part, Base64 edited")
        << u"base64-html"_s << QString::fromLatin1(newHtml.toUtf8().toBase64() + '\n') << newHtml
        << u"utf-8"_s;
    QTest::addRow("CR LF, related") << u"crlf-related"_s << unicode << QString() << u"utf-8"_s;
    QTest::addRow("ISO-8859-1 QP, fits") << u"latin1-qp"_s << latin << QString() << u"iso-8859-1"_s;
    QTest::addRow("ISO-8859-1 QP, needs more") << u"latin1-qp"_s << unicode << QString() << u"utf-8"_s;
    QTest::addRow("US-ASCII QP, fits") << u"ascii-qp"_s << u"plain = =41"_s << QString() << u"us-ascii"_s;
    QTest::addRow("US-ASCII QP, needs more") << u"ascii-qp"_s << latin << QString() << u"utf-8"_s;
    QTest::addRow("QP split by soft breaks") << u"python-soft-breaks"_s << unicode << QString() << u"utf-8"_s;
    QTest::addRow("plain UTF-8") << u"plain-utf8"_s << unicode << QString() << u"utf-8"_s;
    QTest::addRow("UTF-8 QP") << u"utf8-qp"_s << unicode << QString() << u"utf-8"_s;
    QTest::addRow("CR LF, single part, no final line end")
        << u"crlf-plain"_s << unicode << QString() << u"utf-8"_s;
    QTest::addRow("CR LF, single part QP") << u"crlf-qp"_s << unicode << QString() << u"utf-8"_s;
    QTest::addRow("no final line feed")
        << u"no-final-line-feed"_s << unicode << QString() << u"utf-8"_s;
}

void TestSavedShapes::savesInTheFilesOwnShape()
{
    QFETCH(QString, fixture);
    QFETCH(QString, edit);
    QFETCH(QString, outsideHtml);
    const bool replacesAll = !outsideHtml.isEmpty();
    QFETCH(QString, charset);

    QTemporaryDir dir;
    const QString original = test::fixturePath(u"shapes/"_s + fixture + u".mailsignature"_s);
    const QString path = dir.filePath(u"work.mailsignature"_s);
    const QByteArray before = test::readFixture(u"shapes/"_s + fixture + u".mailsignature"_s);
    QVERIFY(test::writeFile(path, before));
    const QUrl file = QUrl::fromLocalFile(path);
    const auto loaded = SignatureReader::read(file, veltrin::test::realFiles());
    QVERIFY(loaded);

    FakeFileAttributes attributes;
    int second = 0;
    const SignatureWriter writer(veltrin::test::realFiles(), attributes, [&second] { return noon.addSecs(second++); });

    // Unchanged: the file as it was, byte for byte.
    QVERIFY(writer.save(file, loaded->header, loaded->html));
    QCOMPARE(contents(path), before);
    // Without images to inline, our reader shows what the outside parser reads.
    const QJsonObject first = outsideReading(original, original);
    const bool decoded = outsideHtml.isEmpty() && !charset.isEmpty();
    if (decoded && first.value(u"images"_s).toArray().isEmpty())
        QCOMPARE(comparable(loaded->html), comparable(first.value(u"html"_s).toString()));

    QVERIFY2(replacesAll || loaded->html.contains(u"EDITME"_s), qPrintable(loaded->html));
    const QString edited = replacesAll ? edit : QString(loaded->html).replace(u"EDITME"_s, edit);
    const auto saved = writer.save(file, loaded->header, edited);
    QVERIFY2(saved, saved ? "" : qPrintable(saved.error().description));

    // An edited text gets a final line end, in the file's own form.
    const QString lineEnd = before.contains("\r\n") ? u"\r\n"_s : u"\n"_s;
    const auto reread = SignatureReader::read(file, veltrin::test::realFiles());
    QVERIFY(reread);
    QCOMPARE(reread->html, edited.endsWith(u'\n') ? edited : edited + lineEnd);

    const QByteArray after = contents(path);
    if (before.contains("\r\n"))
        QCOMPARE(after.count('\n'), after.count("\r\n"));

    const QJsonObject outside = outsideReading(original, path);
    QCOMPARE(outside.value(u"problems"_s).toArray(), QJsonArray());
    if (charset.isEmpty()) {
        // No HTML part: the edit lands in the text part where it was made.
        QVERIFY(outside.value(u"html"_s).isNull());
        QString texts;
        for (const QJsonValue text : outside.value(u"texts"_s).toArray())
            texts += text.toString();
        QVERIFY2(texts.contains(edit), qPrintable(texts));
        return;
    }

    // The outside parser sees the images as cid: references to their parts.
    QString expected = replacesAll ? outsideHtml : edited;
    for (const QJsonValue image : outside.value(u"images"_s).toArray()) {
        const QJsonObject part = image.toObject();
        expected.replace(u"data:"_s + part.value(u"type"_s).toString() + u";base64,"_s
                + part.value(u"base64"_s).toString(),
            u"cid:"_s + part.value(u"cid"_s).toString());
    }
    QCOMPARE(comparable(outside.value(u"html"_s).toString()), comparable(expected));
    QCOMPARE(outside.value(u"charset"_s).toString(), charset);
}

// The bytes a save leaves: the edit, and a header changed only where the text written needs
// another declaration. `from` and `to` name that header change (none when empty).
void TestSavedShapes::changesOnlyWhatTheEditNeeds_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    const QString eightBit = u"Zo\u00EB \u2713"_s;
    QTest::addRow("boundary mid-line after the HTML") << u"midline-boundary"_s << u"Edited"_s << QByteArray() << QByteArray();
    QTest::addRow("boundary mid-line, 8-bit edit")
        << u"midline-boundary"_s << eightBit << QByteArray("charset=us-ascii\n\n<p>EDITME")
        << QByteArray("charset=utf-8\nContent-Transfer-Encoding: 8bit\n\n<p>EDITME");
    QTest::addRow("part without a transfer encoding, 8-bit edit")
        << u"implied-7bit-part"_s << eightBit << QByteArray("charset=utf-8\nContent-ID")
        << QByteArray("charset=utf-8\nContent-Transfer-Encoding: 8bit\nContent-ID");
    QTest::addRow("part without a transfer encoding, ASCII edit")
        << u"implied-7bit-part"_s << u"plain"_s << QByteArray() << QByteArray();
    QTest::addRow("file without a transfer encoding, 8-bit edit")
        << u"implied-7bit"_s << eightBit << QByteArray("charset=utf-8\nMime-Version")
        << QByteArray("charset=utf-8\nContent-Transfer-Encoding: 8bit\nMime-Version");
    QTest::addRow("explicit 7bit, 8-bit edit") << u"explicit-7bit"_s << eightBit
                                               << QByteArray("Content-Transfer-Encoding: 7bit")
                                               << QByteArray("Content-Transfer-Encoding: 8bit");
}

void TestSavedShapes::changesOnlyWhatTheEditNeeds()
{
    QFETCH(QString, fixture);
    QFETCH(QString, edit);
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"work.mailsignature"_s);
    const QByteArray before = test::readFixture(u"shapes/"_s + fixture + u".mailsignature"_s);
    QVERIFY(test::writeFile(path, before));
    const QUrl file = QUrl::fromLocalFile(path);
    const auto loaded = SignatureReader::read(file, test::realFiles());
    QVERIFY(loaded);
    QVERIFY2(loaded->html.contains(u"<p>EDITME</p>"_s), qPrintable(loaded->html));
    FakeFileAttributes attributes;
    const SignatureWriter writer(test::realFiles(), attributes, [] { return noon; });
    const QString edited = QString(loaded->html).replace(u"<p>EDITME</p>"_s, u"<p>"_s + edit + u"</p>"_s);
    const auto saved = writer.save(file, loaded->header, edited);
    QVERIFY2(saved, saved ? "" : qPrintable(saved.error().description));

    QByteArray expected = QByteArray(before);
    if (!from.isEmpty() && from != to) {
        QCOMPARE(expected.count(from), 1);
        expected.replace(from, to);
    }
    expected.replace(QByteArray("<p>EDITME</p>"), QByteArray(QByteArray("<p>") + edit.toUtf8() + "</p>"));
    QCOMPARE(contents(path), expected);
    const auto reread = SignatureReader::read(file, test::realFiles());
    QVERIFY(reread);
    QCOMPARE(reread->html, edited);
    const QString original = test::fixturePath(u"shapes/"_s + fixture + u".mailsignature"_s);
    QCOMPARE(outsideReading(original, path).value(u"problems"_s).toArray(), QJsonArray());
}

QTEST_GUILESS_MAIN(TestSavedShapes)
#include "tst_savedshapes.moc"
