#include "store/QuotedPrintable.h"

#include <QTest>

using namespace veltrin;
using namespace Qt::StringLiterals;

class TestQuotedPrintable : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decodes_data();
    void decodes();
    void keepsEveryOtherCharacterInOrder();
    void decodesInTheDeclaredCharset_data();
    void decodesInTheDeclaredCharset();
};

void TestQuotedPrintable::decodes_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    // The documented examples.
    QTest::addRow("two-byte character") << u"caf=C3=A9"_s << u"café"_s;
    QTest::addRow("lower-case digits") << u"caf=c3=a9"_s << u"café"_s;
    QTest::addRow("escaped equals sign") << u"a=3Db"_s << u"a=b"_s;
    QTest::addRow("three-byte character") << u"=E2=82=AC5"_s << u"€5"_s;
    QTest::addRow("soft break LF") << u"one=\ntwo"_s << u"onetwo"_s;
    QTest::addRow("soft break CRLF") << u"one=\r\ntwo"_s << u"onetwo"_s;
    QTest::addRow("equals at the end") << u"end="_s << u"end"_s;
    QTest::addRow("not hexadecimal") << u"=ZZ"_s << u"=ZZ"_s;
    QTest::addRow("one character after equals") << u"x=A"_s << u"x=A"_s;
    QTest::addRow("equals before an escape") << u"==41"_s << u"=A"_s;
    QTest::addRow("lone continuation byte") << u"=80"_s << u"=80"_s;
    QTest::addRow("first byte before plain text") << u"=C3x"_s << u"=C3x"_s;
    QTest::addRow("single-byte charset") << u"=E9t=E9"_s << u"=E9t=E9"_s;
    QTest::addRow("soft break inside a sequence") << u"=C3=\n=A9"_s << u"é"_s;
    QTest::addRow("plus sign and one digit") << u"a=+9b"_s << u"a\tb"_s;

    // The byte-value reading rule.
    QTest::addRow("plus A is a line feed") << u"=+A"_s << u"\n"_s;
    QTest::addRow("minus zero is NUL") << u"a=-0b"_s << QStringLiteral("a") + QChar(0) + u"b"_s;
    QTest::addRow("minus other digit") << u"=-1"_s << u"=-1"_s;
    QTest::addRow("two signs") << u"=+-"_s << u"=+-"_s;
    QTest::addRow("sign after digit") << u"=A+"_s << u"=A+"_s;
    QTest::addRow("mixed case pair") << u"=c3=A9=e2=82=Ac"_s << u"é€"_s;
    QTest::addRow("non-ASCII after equals") << u"=é9"_s << u"=é9"_s;

    // Soft line breaks and what stays literal.
    QTest::addRow("soft break CR alone") << u"one=\rtwo"_s << u"onetwo"_s;
    QTest::addRow("soft break CR CR keeps the second") << u"a=\r\rb"_s << u"a\rb"_s;
    QTest::addRow("equals before space") << u"a= b"_s << u"a= b"_s;
    QTest::addRow("soft break after transport padding") << u"a= \t\nb=\t\r\nc"_s << u"abc"_s;
    QTest::addRow("padding at the very end") << u"end=  "_s << u"end"_s;

    // Encoders break lines between the escapes of one character.
    QTest::addRow("four-byte character split twice") << u"=F0=\n=9F=\r\n=98=80!"_s << u"\U0001F600!"_s;
    QTest::addRow("split after two of three bytes") << u"=E2=82=\n=AC"_s << u"€"_s;
    QTest::addRow("split, padded soft break") << u"=C3= \n=A9"_s << u"é"_s;
    QTest::addRow("split, second half missing") << u"=C3=\nx"_s << u"=C3x"_s;
    QTest::addRow("split, second half no continuation") << u"=C3=\n=41"_s << u"=C3A"_s;
    QTest::addRow("equals before other line break") << u"a=\u2028b"_s << u"a=\u2028b"_s;
    QTest::addRow("escaped equals not read again") << u"=3D41"_s << u"=41"_s;
    QTest::addRow("ASCII byte decoded alone") << u"=41=C3=A9"_s << u"Aé"_s;
    QTest::addRow("four-byte character") << u"=F0=9F=98=80!"_s << u"\U0001F600!"_s;
    QTest::addRow("empty") << QString() << QString();

    // Sequences that don't decode.
    QTest::addRow("overlong two-byte") << u"=C0=80"_s << u"=C0=80"_s;
    QTest::addRow("overlong three-byte") << u"=E0=80=80"_s << u"=E0=80=80"_s;
    QTest::addRow("surrogate") << u"=ED=A0=80"_s << u"=ED=A0=80"_s;
    QTest::addRow("above U+10FFFF") << u"=F4=90=80=80"_s << u"=F4=90=80=80"_s;
    QTest::addRow("F8 byte") << u"=F8x"_s << u"=F8x"_s;
    QTest::addRow("truncated at the end") << u"=E2=82"_s << u"=E2=82"_s;

    // Further escapes of a sequence that doesn't decode are read again on their own.
    QTest::addRow("two single-byte letters") << u"=E9=E8"_s << u"=E9=E8"_s;
    QTest::addRow("first byte then escaped ASCII") << u"=C3=41b"_s << u"=C3Ab"_s;
    QTest::addRow("single-byte letter then UTF-8") << u"=E9=C3=A9"_s << u"=E9é"_s;
    QTest::addRow("kept escape keeps its letter case") << u"=e9=3d"_s << u"=e9="_s;
    QTest::addRow("three-byte start then escaped equals") << u"=E2=3D=3D"_s << u"=E2=="_s;
}

void TestQuotedPrintable::decodes()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(decodeQuotedPrintable(input), expected);
}

void TestQuotedPrintable::keepsEveryOtherCharacterInOrder()
{
    QString text;
    for (char32_t c = 1; c < 0x3000; ++c) {
        if (c != u'=' && !(c >= 0xD800 && c <= 0xDFFF))
            text += QChar(c);
    }
    text += u"\r\n\n\r\U0001F600"_s;
    QCOMPARE(decodeQuotedPrintable(text), text);
}

void TestQuotedPrintable::decodesInTheDeclaredCharset_data()
{
    QTest::addColumn<QString>("charset");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    QTest::addRow("ISO-8859-1") << u"iso-8859-1"_s << u"Caf=E9 cr=E8me"_s << u"Café crème"_s;
    QTest::addRow("any letter case") << u"ISO-8859-1"_s << u"Caf=e9"_s << u"Café"_s;
    QTest::addRow("ISO-8859-15 euro sign") << u"iso-8859-15"_s << u"=A4 5"_s << u"€ 5"_s;
    QTest::addRow("windows-1252 quotes") << u"windows-1252"_s << u"=93a=94"_s << u"\u201Ca\u201D"_s;
    QTest::addRow("soft breaks and kept equals sign") << u"iso-8859-1"_s << u"a=\n=E9=ZZ"_s << u"aé=ZZ"_s;
    QTest::addRow("characters the file holds as text") << u"iso-8859-1"_s << u"é=E9"_s << u"éé"_s;
    // Bytes that are no text in the declared set: read as UTF-8.
    QTest::addRow("US-ASCII holding UTF-8") << u"us-ascii"_s << u"Zo=C3=AB"_s << u"Zoë"_s;
    QTest::addRow("US-ASCII, plain") << u"us-ascii"_s << u"a=3Db"_s << u"a=b"_s;
    QTest::addRow("unknown set") << u"x-no-such-set"_s << u"caf=C3=A9 =E9"_s << u"café =E9"_s;
    QTest::addRow("name asking iconv to transliterate") << u"us-ascii//TRANSLIT"_s << u"=C3=A9"_s << u"é"_s;
    QTest::addRow("UTF-8 named") << u"UTF-8"_s << u"=C3=\n=A9 =E9"_s << u"é =E9"_s;
    QTest::addRow("no name") << QString() << u"=C3=A9"_s << u"é"_s;
}

void TestQuotedPrintable::decodesInTheDeclaredCharset()
{
    QFETCH(QString, charset);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(decodeQuotedPrintable(input, charset), expected);
}

QTEST_GUILESS_MAIN(TestQuotedPrintable)
#include "tst_quotedprintable.moc"
