#include "store/MimeReader.h"

#include <QTest>

#include <algorithm>

using namespace veltrin;
using namespace Qt::StringLiterals;

using OptionalText = std::optional<QString>;
Q_DECLARE_METATYPE(OptionalText)

namespace {

// Headers as "name=value" lines in name order, for comparing whole parts at once.
QStringList flattened(const QHash<QString, QString>& headers)
{
    QStringList lines;
    for (auto it = headers.begin(); it != headers.end(); ++it)
        lines.append(it.key() + u'=' + it.value());
    std::sort(lines.begin(), lines.end());
    return lines;
}

} // namespace

class TestMimeReader : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void extractsBoundary_data();
    void extractsBoundary();
    void parsesParts_data();
    void parsesParts();
    void readsHeaderBlock_data();
    void readsHeaderBlock();
    void characterClasses();
};

void TestMimeReader::extractsBoundary_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<OptionalText>("boundary");

    QTest::addRow("plain") << u"Content-Type: multipart/related; boundary=abc"_s << OptionalText(u"abc"_s);
    QTest::addRow("quoted") << u"Content-Type: multipart/related;\tboundary=\"Apple=_1\""_s
                            << OptionalText(u"Apple=_1"_s);
    QTest::addRow("keyword in any case, value keeps case")
        << u"Content-Type: multipart/related; BOUNDARY=AbC; type=text/html"_s << OptionalText(u"AbC"_s);
    QTest::addRow("first of two") << u"x; boundary=one; boundary=two"_s << OptionalText(u"one"_s);
    QTest::addRow("spaces inside quotes stay") << u"x; boundary=\" a b \" "_s << OptionalText(u" a b "_s);
    QTest::addRow("doubled quotes removed") << u"x; boundary=\"\"b\"\""_s << OptionalText(u"b"_s);
    QTest::addRow("empty") << u"x; boundary="_s << OptionalText(QString());
    QTest::addRow("no semicolon before it")
        << u"Content-Type: multipart/related boundary=abc"_s << OptionalText();
    QTest::addRow("space before equals sign") << u"x; boundary =abc"_s << OptionalText();
    QTest::addRow("none") << u"Content-Type: text/html; charset=utf-8"_s << OptionalText();
}

void TestMimeReader::extractsBoundary()
{
    QFETCH(QString, line);
    QFETCH(OptionalText, boundary);
    QCOMPARE(extractBoundary(line), boundary);
}

void TestMimeReader::parsesParts_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QList<QStringList>>("headers");
    QTest::addColumn<QStringList>("bodies");

    QTest::addRow("two parts and a preamble")
        << u"preamble\n\n--b\nContent-Type: text/html\n\n<p>x</p>\n--b\nContent-ID: <a>\n\nQUJD\n--b--\nepilogue\n\n"_s
        << QList<QStringList> { {}, { u"content-type=text/html"_s }, { u"content-id=<a>"_s } }
        << QStringList { QString(), u"<p>x</p>\n"_s, u"QUJD\n"_s };
    QTest::addRow("names in lower case, untrimmed; values trimmed of spaces and tabs")
        << u"--b\nContent-ID : \t<a> \nX-Y:\u00A0v\u3000\n\n"_s
        << QList<QStringList> { { u"content-id =<a>"_s, u"x-y=v"_s } } << QStringList { QString() };
    QTest::addRow("continuation lines joined without separator")
        << u"--b\nContent-Type: image/png;\n\tname=\"a.png\"\n \u00A0 more \n\nbody"_s
        << QList<QStringList> { { u"content-type=image/png;name=\"a.png\"more"_s } }
        << QStringList { u"body"_s };
    QTest::addRow("continuation of a repeated name extends the later value")
        << u"--b\nA: 1\nA: 2\n 3\n\n"_s << QList<QStringList> { { u"a=23"_s } } << QStringList { QString() };
    QTest::addRow("lines skipped: leading continuation, no colon, CR as line break")
        << u"--b\n\tlost\nno colon\r\nB: x\r\n\n"_s << QList<QStringList> { { u"b=x"_s } }
        << QStringList { QString() };
    QTest::addRow("colon in the value")
        << u"--b\nA: x:y\n\n"_s << QList<QStringList> { { u"a=x:y"_s } } << QStringList { QString() };
    QTest::addRow("section without blank line skipped")
        << u"--b\nA: 1\nbody\n--b\nB: 2\n\nkept"_s << QList<QStringList> { { u"b=2"_s } }
        << QStringList { u"kept"_s };
    QTest::addRow("blank and after-closing sections skipped")
        << u"  \n--b\u2028\n--b--\n\nA: 1\n\nx"_s << QList<QStringList> {} << QStringList {};
    QTest::addRow("delimiter anywhere in a line cuts")
        << u"--b\nA: 1\n\none--btwo\n\nthree"_s << QList<QStringList> { { u"a=1"_s }, {} }
        << QStringList { u"one"_s, u"three"_s };
    QTest::addRow("later blank lines stay in the body")
        << u"--b\nA: 1\n\nx\n\ny\n"_s << QList<QStringList> { { u"a=1"_s } } << QStringList { u"x\n\ny\n"_s };
}

void TestMimeReader::parsesParts()
{
    QFETCH(QString, body);
    QFETCH(QList<QStringList>, headers);
    QFETCH(QStringList, bodies);

    const QList<MIMEPart> parts = parseMIMEParts(body, u"b"_s);
    QCOMPARE(parts.size(), headers.size());
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QCOMPARE(flattened(parts[i].headers), headers[i]);
        QCOMPARE(parts[i].body, bodies[i]);
    }
}

void TestMimeReader::readsHeaderBlock_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<OptionalText>("contentTypeLine");
    QTest::addColumn<bool>("multipart");
    QTest::addColumn<bool>("quotedPrintable");

    QTest::addRow("continuations appended as written")
        << u"Mime-Version: 1.0\nCONTENT-TYPE: Multipart/Related;\n\ttype=\"text/html\";\n boundary=x\nA: b\n\tc"_s
        << OptionalText(u"CONTENT-TYPE: Multipart/Related;\ttype=\"text/html\"; boundary=x"_s) << true
        << false;
    QTest::addRow("first line naming content-type")
        << u"X-Content-Type: text/plain\nContent-Type: multipart/related; boundary=x"_s
        << OptionalText(u"X-Content-Type: text/plain"_s) << false << false;
    QTest::addRow("multipart without boundary")
        << u"Content-Type: multipart/related"_s << OptionalText(u"Content-Type: multipart/related"_s) << false
        << false;
    QTest::addRow("continuation after CR LF is taken")
        << u"Content-Type: multipart/related;\r\n boundary=x"_s
        << OptionalText(u"Content-Type: multipart/related; boundary=x"_s) << true << false;
    QTest::addRow("continuation after empty line is not taken")
        << u"Content-Type: multipart/related;\r\r boundary=x"_s
        << OptionalText(u"Content-Type: multipart/related;"_s) << false << false;
    QTest::addRow("continuation after LF and empty CR LF line is not taken")
        << u"Content-Type: multipart/related;\n\r\n boundary=x"_s
        << OptionalText(u"Content-Type: multipart/related;"_s) << false << false;
    QTest::addRow("quoted-printable on the same line")
        << u"Content-Transfer-Encoding: QUOTED-PRINTABLE"_s << OptionalText() << false << true;
    QTest::addRow("quoted-printable folded")
        << u"Content-Transfer-Encoding:\n quoted-printable"_s << OptionalText() << false << false;
    QTest::addRow("empty") << QString() << OptionalText() << false << false;
}

void TestMimeReader::readsHeaderBlock()
{
    QFETCH(QString, header);
    QFETCH(OptionalText, contentTypeLine);
    QFETCH(bool, multipart);
    QFETCH(bool, quotedPrintable);

    QCOMPARE(findContentTypeLine(header), contentTypeLine);
    QCOMPARE(declaresMultipart(header), multipart);
    QCOMPARE(declaresQuotedPrintable(header), quotedPrintable);
}

void TestMimeReader::characterClasses()
{
    QCOMPARE(trimmedOfSpacesAndTabs(u"\t \u00A0\u3000a b\u2009 "_s), u"a b"_s);
    QCOMPARE(trimmedOfSpacesAndTabs(u"\na\u2028"_s), u"\na\u2028"_s);
    const QStringList lines = [] {
        QStringList result;
        for (const QStringView line : splitLines(u"a\r\nb\u0085c\u2028d\u2029e\vf\fg\u00A0h"_s))
            result.append(line.toString());
        return result;
    }();
    QCOMPARE(
        lines, (QStringList { u"a"_s, QString(), u"b"_s, u"c"_s, u"d"_s, u"e"_s, u"f"_s, u"g\u00A0h"_s }));
    QVERIFY(isWhiteSpace(u'\u00A0') && isWhiteSpace(u'\u2028') && isWhiteSpace(u'\u3000')
        && !isWhiteSpace(u'\u200B'));
}

QTEST_GUILESS_MAIN(TestMimeReader)
#include "tst_mimereader.moc"
