#include "store/QuotedPrintable.h"
#include "store/QuotedPrintableEncoder.h"

#include <QTest>

#include <random>

using namespace veltrin;

namespace {

QString repeated(char c, int count)
{
    return QString(count, QLatin1Char(c));
}

// Texts built from the pieces that matter to the encoding: any character of Unicode
// (astral ones included, surrogates excepted: they are no characters), every kind of line
// break, "=", spaces and tabs that may end a line, text that looks like escapes, long runs.
QString generatedText(std::mt19937& random)
{
    static const QStringList pieces = {
        QStringLiteral("\n"),
        QStringLiteral("\r\n"),
        QStringLiteral("\r"),
        QStringLiteral("="),
        QStringLiteral(" "),
        QStringLiteral("\t"),
        QStringLiteral("=41"),
        QStringLiteral("=\n"),
        QStringLiteral("=+A"),
        QStringLiteral("=-0"),
        QStringLiteral("\u2028"),
        QStringLiteral("\u0085"),
        QStringLiteral("<p style=\"margin:0\">"),
        QStringLiteral("caf\u00E9"),
    };
    std::uniform_int_distribution<int> pieceCount(0, 60);
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_int_distribution<int> pick(0, int(pieces.size()) - 1);
    std::uniform_int_distribution<char32_t> anyCodePoint(0, 0x10FFFF);
    std::uniform_int_distribution<char32_t> ascii(0, 0x7F);
    std::uniform_int_distribution<int> runLength(1, 200);

    QString text;
    for (int n = pieceCount(random); n > 0; --n) {
        switch (kind(random)) {
        case 0:
        case 1:
        case 2: {
            char32_t codePoint = anyCodePoint(random);
            if (codePoint >= 0xD800 && codePoint <= 0xDFFF)
                codePoint -= 0x800;
            text += QString::fromUcs4(&codePoint, 1);
            break;
        }
        case 3:
        case 4: {
            const char32_t codePoint = ascii(random);
            text += QString::fromUcs4(&codePoint, 1);
            break;
        }
        case 5:
            text += repeated('x', runLength(random));
            break;
        default:
            text += pieces[pick(random)];
        }
    }
    return text;
}

// What any reader of quoted-printable may rely on, checked line by line.
QString formFault(const QString& encoded)
{
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i <= encoded.size(); ++i) {
        if (i < encoded.size() && encoded[i].unicode() > 0x7E)
            return QStringLiteral("a character outside ASCII at %1").arg(i);
        if (i < encoded.size() && encoded[i] != u'\n' && encoded[i] != u'\r')
            continue;
        if (i < encoded.size() && encoded[i] == u'\r' && (i + 1 == encoded.size() || encoded[i + 1] != u'\n'))
            return QStringLiteral("a lone carriage return at %1").arg(i);
        const qsizetype end = i;
        if (end - lineStart > 76)
            return QStringLiteral("a line of %1 characters at %2").arg(end - lineStart).arg(lineStart);
        if (end > lineStart && (encoded[end - 1] == u' ' || encoded[end - 1] == u'\t'))
            return QStringLiteral("a space or tab ending the line at %1").arg(lineStart);
        if (i < encoded.size() && encoded[i] == u'\r')
            ++i;
        lineStart = i + 1;
    }
    for (qsizetype i = encoded.indexOf(u'='); i >= 0; i = encoded.indexOf(u'=', i + 1)) {
        const QStringView rest = QStringView(encoded).mid(i + 1, 2);
        const bool softBreak = rest.startsWith(u'\n') || rest.startsWith(u"\r\n");
        const auto isHex = [](QChar c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'); };
        if (!softBreak && (rest.size() < 2 || !isHex(rest[0]) || !isHex(rest[1])))
            return QStringLiteral("an \"=\" that starts neither an escape nor a soft break at %1").arg(i);
    }
    return {};
}

} // namespace

class TestQuotedPrintableEncoder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void encodes_data();
    void encodes();
    void decodingGivesTheTextBack();
};

void TestQuotedPrintableEncoder::encodes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("encoded");
    QTest::addRow("empty") << QString() << QString();
    QTest::addRow("plain ASCII stays")
        << QStringLiteral("<b>Hi</b> there") << QStringLiteral("<b>Hi</b> there");
    QTest::addRow("equals sign") << QStringLiteral("a=b") << QStringLiteral("a=3Db");
    QTest::addRow("two-byte character") << QStringLiteral("caf\u00E9") << QStringLiteral("caf=C3=A9");
    QTest::addRow("three-byte character") << QStringLiteral("\u20AC5") << QStringLiteral("=E2=82=AC5");
    QTest::addRow("astral character") << QStringLiteral("\U0001F600") << QStringLiteral("=F0=9F=98=80");
    QTest::addRow("line feed kept") << QStringLiteral("a\nb\n") << QStringLiteral("a\nb\n");
    QTest::addRow("CR LF kept") << QStringLiteral("a\r\nb") << QStringLiteral("a\r\nb");
    QTest::addRow("lone CR escaped") << QStringLiteral("a\rb\r") << QStringLiteral("a=0Db=0D");
    QTest::addRow("other line breaks escaped")
        << QStringLiteral("a\u2028b\u0085c\fd") << QStringLiteral("a=E2=80=A8b=C2=85c=0Cd");
    QTest::addRow("controls escaped") << QStringLiteral("\x01\x7F") << QStringLiteral("=01=7F");
    QTest::addRow("inner spaces and tabs stay") << QStringLiteral("a \tb") << QStringLiteral("a \tb");
    QTest::addRow("space before LF") << QStringLiteral("a \nb") << QStringLiteral("a=20\nb");
    QTest::addRow("tab before CR LF") << QStringLiteral("a\t\r\nb") << QStringLiteral("a=09\r\nb");
    QTest::addRow("spaces at the end") << QStringLiteral("a  ") << QStringLiteral("a =20");
    QTest::addRow("space before a lone CR stays") << QStringLiteral("a \r") << QStringLiteral("a =0D");
    QTest::addRow("75 characters fit") << repeated('a', 75) << repeated('a', 75);
    QTest::addRow("76 characters break") << repeated('a', 76) << repeated('a', 75) + QStringLiteral("=\na");
    QTest::addRow("long line breaks every 75") << repeated('a', 160)
                                               << repeated('a', 75) + QStringLiteral("=\n")
            + repeated('a', 75) + QStringLiteral("=\n") + repeated('a', 10);
    QTest::addRow("hard break resets the count") << repeated('a', 70) + QStringLiteral("\n")
            + repeated('b', 70) << repeated('a', 70) + QStringLiteral("\n") + repeated('b', 70);
    QTest::addRow("escapes of one character stay together")
        << repeated('a', 72) + QStringLiteral("\u00E9") << repeated('a', 72) + QStringLiteral("=\n=C3=A9");
    QTest::addRow("astral escapes stay together") << repeated('a', 70) + QStringLiteral("\U0001F600")
                                                  << repeated('a', 70) + QStringLiteral("=\n=F0=9F=98=80");
    QTest::addRow("escape that just fits")
        << repeated('a', 72) + QStringLiteral("=") << repeated('a', 72) + QStringLiteral("=3D");
}

void TestQuotedPrintableEncoder::encodes()
{
    QFETCH(QString, text);
    QFETCH(QString, encoded);
    QCOMPARE(encodeQuotedPrintable(text), encoded);
    QCOMPARE(decodeQuotedPrintable(encoded), text);
}

void TestQuotedPrintableEncoder::decodingGivesTheTextBack()
{
    std::mt19937 random(20261210);
    for (int round = 0; round < 3000; ++round) {
        const QString text = generatedText(random);
        const QString encoded = encodeQuotedPrintable(text);
        const QString fault = formFault(encoded);
        if (!fault.isEmpty())
            QFAIL(qPrintable(QStringLiteral("round %1: %2 in %3").arg(round).arg(fault, encoded)));
        if (decodeQuotedPrintable(encoded) != text)
            QFAIL(qPrintable(QStringLiteral("round %1 does not decode back: %2").arg(round).arg(encoded)));
    }
}

QTEST_GUILESS_MAIN(TestQuotedPrintableEncoder)
#include "tst_quotedprintableencoder.moc"
