#include "store/SignatureFile.h"
#include "store/SignatureReader.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace veltrin;
using namespace Qt::StringLiterals;

namespace {

// A multipart/related file with boundary "b" whose sections are given as written.
QString multipart(const QStringList& sections)
{
    QString text = u"Content-Type: multipart/related; boundary=b\n\n"_s;
    for (const QString& section : sections)
        text += u"--b\n"_s + section;
    return text + u"--b--\n"_s;
}

QString htmlPart(const QString& html)
{
    return u"Content-Type: text/html\n\n"_s + html + u"\n"_s;
}

QString imagePart(const QString& contentId, const QString& base64, const QString& type = u"image/png"_s)
{
    return u"Content-Type: "_s + type + u"\nContent-Transfer-Encoding: base64\nContent-ID: "_s + contentId
        + u"\n\n"_s + base64 + u"\n"_s;
}

const QString abc = u"data:image/png;base64,QUJD"_s; // "ABC"
const QString xyz = u"data:image/png;base64,WFla"_s; // "XYZ"

QString img(const QString& address)
{
    return u"<img src=\""_s + address + u"\" style=\"max-width:100%;height:auto\">"_s;
}

} // namespace

class TestSignatureReader : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsFixtures_data();
    void readsFixtures();
    void splitsHeaderAndBody_data();
    void splitsHeaderAndBody();
    void readsMultipart_data();
    void readsMultipart();
    void inlinesImages_data();
    void inlinesImages();
    void rewritesObjects_data();
    void rewritesObjects();
    void objectRewriteMatchesTheExpression();
    void failsOnUnreadableFiles_data();
    void failsOnUnreadableFiles();
    void keepsTheFileAsStored();
};

void TestSignatureReader::readsFixtures_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("header");

    QTest::addRow("single part")
        << u"single-part"_s
        << u"Content-Transfer-Encoding: 7bit\nContent-Type: text/html;\n\tcharset=us-ascii\n"
           u"Message-Id: <0C2D55AE-1F0B-4C3A-9E1A-5B3C7D9E2F41@veltrin.example>\nMime-Version: 1.0"_s;
    QTest::addRow("CR LF lines")
        << u"crlf"_s
        << u"Content-Transfer-Encoding: 7bit\r\nContent-Type: text/html;\r\n\tcharset=us-ascii\r\n"
           u"Message-Id: <0C2D55AE-1F0B-4C3A-9E1A-5B3C7D9E2F41@veltrin.example>\r\nMime-Version: 1.0"_s;
    QTest::addRow("quoted-printable")
        << u"quoted-printable"_s
        << u"Content-Transfer-Encoding: quoted-printable\nContent-Type: text/html;\n"
           u"\tcharset=utf-8\nMime-Version: 1.0"_s;
    QTest::addRow("multipart with PNG, GIF and OBJECT")
        << u"multipart-related"_s
        << u"Content-Type: "
           u"multipart/related;\n\ttype=\"text/html\";\n\tboundary=\"Veltrin-Boundary=_7F3A9C\"\n"
           u"Mime-Version: 1.0"_s;
    QTest::addRow("image with a space in its Base64")
        << u"broken-image"_s << u"Content-Type: multipart/related; boundary=frontier"_s;
}

void TestSignatureReader::readsFixtures()
{
    QFETCH(QString, fixture);
    QFETCH(QString, header);

    SignatureFile file;
    file.filePath = QUrl::fromLocalFile(test::fixturePath(u"signatures/"_s + fixture + u".mailsignature"_s));
    const auto content = file.loadContent();
    QVERIFY2(content.has_value(), qPrintable(content.error().description));
    QCOMPARE(content->header, header);
    QCOMPARE(content->html, QString::fromUtf8(test::readFixture(u"signatures/"_s + fixture + u".html"_s)));
}

void TestSignatureReader::splitsHeaderAndBody_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("html");

    QTest::addRow("empty file") << QString() << QString() << QString();
    QTest::addRow("no blank line") << u"Content-Type: text/html\n<p>hi</p>"_s << QString()
                                   << u"Content-Type: text/html\n<p>hi</p>"_s;
    QTest::addRow("line of spaces is no blank line")
        << u"A: b\n \n<p>x</p>"_s << QString() << u"A: b\n \n<p>x</p>"_s;
    QTest::addRow("CR between the line feeds")
        << u"A: b\n\r\n<p>x</p>"_s << QString() << u"A: b\n\r\n<p>x</p>"_s;
    QTest::addRow("HTML without header block")
        << u"<p>one</p>\n\n<p>two</p>"_s << u"<p>one</p>"_s << u"<p>two</p>"_s;
    QTest::addRow("later blank lines stay in the body")
        << u"Content-Type: text/html\n\n<p>a</p>\n\n\n<p>b</p>\n"_s << u"Content-Type: text/html"_s
        << u"<p>a</p>\n\n\n<p>b</p>\n"_s;
    QTest::addRow("quoted-printable body")
        << u"Content-Transfer-Encoding: Quoted-Printable\n\nCaf=C3=A9=\n!"_s
        << u"Content-Transfer-Encoding: Quoted-Printable"_s << u"Café!"_s;
    QTest::addRow("quoted-printable folded onto the next line is not decoded")
        << u"Content-Transfer-Encoding:\n quoted-printable\n\nCaf=C3=A9"_s
        << u"Content-Transfer-Encoding:\n quoted-printable"_s << u"Caf=C3=A9"_s;
    QTest::addRow("base64 single part stays encoded")
        << u"Content-Type: text/html\nContent-Transfer-Encoding: base64\n\nPHA+aGk8L3A+"_s
        << u"Content-Type: text/html\nContent-Transfer-Encoding: base64"_s << u"PHA+aGk8L3A+"_s;
    QTest::addRow("first line naming content-type is taken")
        << u"X-Content-Type: text/plain\nContent-Type: multipart/related; boundary=b\n\n--b\n"
           u"Content-Type: text/html\n\n<p>x</p>\n--b--\n"_s
        << u"X-Content-Type: text/plain\nContent-Type: multipart/related; boundary=b"_s
        << u"--b\nContent-Type: text/html\n\n<p>x</p>\n--b--\n"_s;
    QTest::addRow("multipart without boundary is read as one part")
        << u"Content-Type: multipart/related\n\n--b\nContent-Type: text/html\n\n<p>x</p>\n--b--\n"_s
        << u"Content-Type: multipart/related"_s << u"--b\nContent-Type: text/html\n\n<p>x</p>\n--b--\n"_s;
    QTest::addRow("boundary folded after a line without semicolon")
        << u"Content-Type: multipart/related\n\tboundary=\"b\"\n\n--b\nContent-Type: text/html\n\n<p>x</p>\n--b--\n"_s
        << u"Content-Type: multipart/related\n\tboundary=\"b\""_s
        << u"--b\nContent-Type: text/html\n\n<p>x</p>\n--b--\n"_s;
    QTest::addRow("CR LF continues the Content-Type line")
        << u"Content-Type: multipart/related;\r\n\tboundary=b\r\n\n--b\nContent-Type: text/html\n\n<p>x</p>\n--b--\n"_s
        << u"Content-Type: multipart/related;\r\n\tboundary=b\r"_s << u"<p>x</p>\n"_s;
    QTest::addRow("CR CR ends the Content-Type continuation")
        << u"Content-Type: multipart/related;\r\r\tboundary=b\n\n--b\nContent-Type: text/html\n\n<p>x</p>\n--b--\n"_s
        << u"Content-Type: multipart/related;\r\r\tboundary=b"_s
        << u"--b\nContent-Type: text/html\n\n<p>x</p>\n--b--\n"_s;
    QTest::addRow("CR LF blank line")
        << u"A: b\r\nC: d\r\n\r\n<p>x</p>\r\n\r\n"_s << u"A: b\r\nC: d"_s << u"<p>x</p>\r\n\r\n"_s;
    QTest::addRow("LF blank line before a CR LF one")
        << u"A: b\n\nc\r\n\r\nd"_s << u"A: b"_s << u"c\r\n\r\nd"_s;
    QTest::addRow("CR LF blank line before an LF one") << u"A: b\r\n\r\nc\n\nd"_s << u"A: b"_s << u"c\n\nd"_s;
    QTest::addRow("CR LF multipart, quoted-printable part")
        << u"Content-Type: multipart/related;\r\n\tboundary=b\r\n\r\n--b\r\nContent-Type: text/html\r\n"
           u"Content-Transfer-Encoding: quoted-printable\r\n\r\nRen=C3=\r\n=A9e\r\n--b--\r\n"_s
        << u"Content-Type: multipart/related;\r\n\tboundary=b"_s << u"Renée\r\n"_s;
    QTest::addRow("CR LF single part, ISO-8859-1 quoted-printable")
        << u"Content-Type: text/html; charset=\"ISO-8859-1\"\r\nContent-Transfer-Encoding: "
           u"quoted-printable\r\n\r\n"
           u"Caf=E9\r\n"_s
        << u"Content-Type: text/html; charset=\"ISO-8859-1\"\r\nContent-Transfer-Encoding: quoted-printable"_s
        << u"Café\r\n"_s;
    QTest::addRow("single-part rule applies to multipart without boundary")
        << u"Content-Type: multipart/alternative\nContent-Transfer-Encoding: quoted-printable\n\na=3Db"_s
        << u"Content-Type: multipart/alternative\nContent-Transfer-Encoding: quoted-printable"_s << u"a=b"_s;
}

void TestSignatureReader::splitsHeaderAndBody()
{
    QFETCH(QString, text);
    QFETCH(QString, header);
    QFETCH(QString, html);

    const SignatureContent content = SignatureReader::parse(text);
    QCOMPARE(content.header, header);
    QCOMPARE(content.html, html);
}

void TestSignatureReader::readsMultipart_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("html");

    QTest::addRow("boundary on a tab continuation, quoted")
        << u"Content-Type: multipart/related;\n\tboundary=\"Apple=_x\"\n\n--Apple=_x\nContent-Type: "
           u"text/html\n\n"
           u"<p>x</p>\n--Apple=_x--\n"_s
        << u"<p>x</p>\n"_s;
    QTest::addRow("first of two HTML parts")
        << multipart({ htmlPart(u"<p>one</p>"_s), htmlPart(u"<p>two</p>"_s) }) << u"<p>one</p>\n"_s;
    QTest::addRow("HTML part after a plain-text part")
        << multipart({ u"Content-Type: text/plain\n\nplain\n"_s, htmlPart(u"<p>x</p>"_s) })
        << u"<p>x</p>\n"_s;
    QTest::addRow("quoted-printable HTML part") << multipart(
        { u"content-type: TEXT/HTML; charset=utf-8\nContent-Transfer-Encoding: Quoted-Printable\n\n"
          u"Ren=C3=A9=\n!\n"_s }) << u"René!\n"_s;
    QTest::addRow("base64 HTML part stays encoded")
        << multipart({ u"Content-Type: text/html\nContent-Transfer-Encoding: base64\n\nPHA+aGk8L3A+\n"_s })
        << u"PHA+aGk8L3A+\n"_s;
    QTest::addRow("no HTML part gives the whole body") << multipart(
        { u"Content-Type: text/plain\n\nplain\n"_s }) << u"--b\nContent-Type: text/plain\n\nplain\n--b--\n"_s;
    QTest::addRow("nested multipart is not opened")
        << multipart({ u"Content-Type: multipart/alternative; boundary=inner\n\n--inner\n"
                       u"Content-Type: text/html\n\n<p>x</p>\n--inner--\n"_s })
        << u"--b\nContent-Type: multipart/alternative; boundary=inner\n\n--inner\n"
           u"Content-Type: text/html\n\n<p>x</p>\n--inner--\n--b--\n"_s;
    QTest::addRow("section without blank line is passed over")
        << multipart({ u"Content-Type: text/html\n<p>no blank</p>\n"_s, htmlPart(u"<p>x</p>"_s) })
        << u"<p>x</p>\n"_s;
    QTest::addRow("continuation before any header is passed over")
        << multipart({ u" text/html\nno colon here\nContent-Type:\n  text/html\n\n<p>x</p>\n"_s })
        << u"<p>x</p>\n"_s;
    QTest::addRow("later header of the same name wins") << multipart(
        { u"Content-Type: text/html\nContent-Type: text/plain\n\nplain\n"_s, htmlPart(u"<p>x</p>"_s) })
                                                        << u"<p>x</p>\n"_s;
}

void TestSignatureReader::readsMultipart()
{
    QFETCH(QString, text);
    QFETCH(QString, html);
    QCOMPARE(SignatureReader::parse(text).html, html);
}

void TestSignatureReader::inlinesImages_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("html");

    QTest::addRow("76-character lines become one line")
        << multipart({ htmlPart(u"<img src=\"cid:logo\">"_s),
               imagePart(u"<logo>"_s,
                   u"QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5ejAx\r\n"
                   u"MjM0NTY3ODk=\r\n"_s) })
        << u"<img "
           u"src=\"data:image/"
           u"png;base64,QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5ejAx"
           u"MjM0NTY3ODk=\">\n"_s;
    QTest::addRow("image part before the HTML part")
        << multipart({ imagePart(u"<logo>"_s, u"QUJD"_s), htmlPart(u"<img src=\"cid:logo\"> cid:logo"_s) })
        << u"<img src=\""_s + abc + u"\"> "_s + abc + u"\n"_s;
    QTest::addRow("media type keeps its case, parameters dropped")
        << multipart({ htmlPart(u"cid:a"_s), imagePart(u"a"_s, u"QUJD"_s, u"Image/PNG; name=\"a.png\""_s) })
        << u"data:Image/PNG;base64,QUJD\n"_s;
    QTest::addRow("reference encoded in quoted-printable") << multipart(
        { u"Content-Type: text/html\nContent-Transfer-Encoding: quoted-printable\n\n"
          u"<img src=3D\"cid:lo=\ngo\">\n"_s,
            imagePart(u"<logo>"_s, u"QUJD"_s) }) << u"<img src=\""_s + abc + u"\">\n"_s;
    QTest::addRow("reference letter case matters")
        << multipart({ htmlPart(u"cid:Logo cid:logo"_s), imagePart(u"<logo>"_s, u"QUJD"_s) })
        << u"cid:Logo "_s + abc + u"\n"_s;
    QTest::addRow("angle brackets trimmed only at the ends")
        << multipart({ htmlPart(u"cid:a<b"_s), imagePart(u"<<a<b>>"_s, u"QUJD"_s) }) << abc + u"\n"_s;
    QTest::addRow("empty content id replaces every cid:")
        << multipart({ htmlPart(u"cid:x cid:"_s), imagePart(u"<>"_s, u"QUJD"_s) })
        << abc + u"x "_s + abc + u"\n"_s;
    QTest::addRow("longer content id that does not decode keeps its references")
        << multipart({ htmlPart(u"cid:logo2 cid:logo"_s), imagePart(u"<logo>"_s, u"QUJD"_s),
               imagePart(u"<logo2>"_s, u"W F"_s) })
        << u"cid:logo2 "_s + abc + u"\n"_s;
    QTest::addRow("one id twice: the first image that decodes")
        << multipart({ htmlPart(u"cid:logo <OBJECT data=\"cid:logo\"></OBJECT>"_s), imagePart(u"<logo>"_s, u"W F"_s),
               imagePart(u"<logo>"_s, u"QUJD"_s) })
        << abc + u" <img src=\""_s + abc + u"\" style=\"max-width:100%;height:auto\">\n"_s;
    QTest::addRow("shorter id listed later, references of both")
        << multipart({ htmlPart(u"cid:logo2 cid:logo cid:logo22"_s), imagePart(u"<logo2>"_s, u"WFla"_s),
               imagePart(u"<logo>"_s, u"QUJD"_s) })
        << xyz + u" "_s + abc + u" "_s + xyz + u"2\n"_s;
    QTest::addRow("longer content id keeps its own references") << multipart(
        { htmlPart(u"cid:logo2 cid:logo"_s), imagePart(u"<logo>"_s, u"QUJD"_s),
            imagePart(u"<logo2>"_s, u"WFla"_s) }) << xyz + u" "_s + abc + u"\n"_s;
    QTest::addRow("missing padding still decodes")
        << multipart({ htmlPart(u"cid:a"_s), imagePart(u"a"_s, u"QUI"_s) })
        << u"data:image/png;base64,QUI=\n"_s;
    QTest::addRow("trailing bits are dropped by re-encoding")
        << multipart({ htmlPart(u"cid:a"_s), imagePart(u"a"_s, u"QUJ=\n"_s) })
        << u"data:image/png;base64,QUI=\n"_s;
    QTest::addRow("surrounding spaces and tabs are trimmed")
        << multipart({ htmlPart(u"cid:a"_s), imagePart(u"a"_s, u" \tQUJD\t "_s) }) << abc + u"\n"_s;
    QTest::addRow("empty Base64 is an empty image")
        << multipart({ htmlPart(u"cid:a"_s), imagePart(u"a"_s, QString()) }) << u"data:image/png;base64,\n"_s;
    QTest::addRow("inner space does not decode")
        << multipart({ htmlPart(u"cid:a"_s), imagePart(u"a"_s, u"QU JD"_s) }) << u"cid:a\n"_s;
    QTest::addRow("character outside the alphabet")
        << multipart({ htmlPart(u"cid:a"_s), imagePart(u"a"_s, u"QUJ*"_s) }) << u"cid:a\n"_s;
    QTest::addRow("padding inside the text")
        << multipart({ htmlPart(u"cid:a"_s), imagePart(u"a"_s, u"QQ==QUJD"_s) }) << u"cid:a\n"_s;
    QTest::addRow("impossible length")
        << multipart({ htmlPart(u"cid:a"_s), imagePart(u"a"_s, u"QUJDR"_s) }) << u"cid:a\n"_s;
    QTest::addRow("a failing image leaves the next one working") << multipart(
        { htmlPart(u"cid:a cid:b"_s), imagePart(u"a"_s, u"QU JD"_s), imagePart(u"b"_s, u"QUJD"_s) })
                                                                 << u"cid:a "_s + abc + u"\n"_s;
    QTest::addRow("not an image type")
        << multipart({ htmlPart(u"cid:a"_s), imagePart(u"a"_s, u"QUJD"_s, u"application/pdf"_s) })
        << u"cid:a\n"_s;
    QTest::addRow("not base64") << multipart(
        { htmlPart(u"cid:a"_s), u"Content-Type: image/png\nContent-ID: <a>\n\nQUJD\n"_s })
                                << u"cid:a\n"_s;
    QTest::addRow("space before the colon of Content-ID") << multipart({ htmlPart(u"cid:a"_s),
        u"Content-Type: image/png\nContent-Transfer-Encoding: base64\nContent-ID : <a>\n\nQUJD\n"_s })
                                                          << u"cid:a\n"_s;
}

void TestSignatureReader::inlinesImages()
{
    QFETCH(QString, text);
    QFETCH(QString, html);
    QCOMPARE(SignatureReader::parse(text).html, html);
}

void TestSignatureReader::rewritesObjects_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");

    QTest::addRow("OBJECT in any letter case")
        << u"<p><oBjEcT type=\"image/png\" data=\"cid:a\" width=\"10\">alt</OBJECT></p>"_s
        << u"<p>"_s + img(abc) + u"alt</p>"_s;
    QTest::addRow("several OBJECT elements")
        << u"<object data=\"cid:a\"></object><object data=\"cid:a\"></object>"_s << img(abc) + img(abc);
    QTest::addRow("address in another letter case, shown in the image's own")
        << u"<object data=\"DATA:IMAGE/PNG;base64,QUJD\"></object>"_s << img(abc);
    QTest::addRow("single-quoted data attribute is left")
        << u"<object data='cid:a'></object>"_s << u"<object data='"_s + abc + u"'></object>"_s;
    QTest::addRow("data attribute with more than the address is left")
        << u"<object data=\"cid:a#x\"></object>"_s << u"<object data=\""_s + abc + u"#x\"></object>"_s;
    QTest::addRow("other OBJECT elements keep their closing tags")
        << u"<object data=\"cid:a\">x</object><object data=\"card.pdf\">card</object>"_s
        << img(abc) + u"x<object data=\"card.pdf\">card</object>"_s;
    QTest::addRow("nested OBJECT elements")
        << u"<object data=\"cid:a\"><object data=\"card.pdf\">card</object></object>after"_s
        << img(abc) + u"<object data=\"card.pdf\">card</object>after"_s;
    QTest::addRow("fallback OBJECT inside another")
        << u"<object data=\"card.pdf\"><object data=\"cid:a\"></object></object>"_s
        << u"<object data=\"card.pdf\">"_s + img(abc) + u"</object>"_s;
    QTest::addRow("several OBJECT starts in one tag")
        << u"<object <object <object data=\"x\"> <object data=\"cid:a\">"_s
        << u"<object <object <object data=\"x\"> "_s + img(abc);
    QTest::addRow("OBJECT starts inside a tag are no elements")
        << u"<object data=\"cid:a\"><object <object x></object></object>"_s
        << img(abc) + u"<object <object x></object>"_s;
    QTest::addRow("no closing angle bracket")
        << u"<object data=\"cid:a\""_s << u"<object data=\""_s + abc + u"\""_s;
    QTest::addRow("closing tag with space before the bracket")
        << u"<object data=\"cid:a\"></object >x"_s << img(abc) + u"x"_s;
}

void TestSignatureReader::rewritesObjects()
{
    QFETCH(QString, html);
    QFETCH(QString, expected);
    const QString text = multipart({ htmlPart(html), imagePart(u"<a>"_s, u"QUJD"_s) });
    QCOMPARE(SignatureReader::parse(text).html, expected + u"\n"_s);
}

void TestSignatureReader::objectRewriteMatchesTheExpression()
{
    // Random tag soup, compared with the case-insensitive expression the rewrite stands for.
    // No closing tags, so only the start-tag rewrite is compared.
    const QStringList pieces = { u"<object"_s, u"<OBJECT "_s, u"<ObJeCt x"_s, u"data=\"cid:a\""_s,
        u" data=\"cid:a\""_s, u" DATA=\"cid:a\""_s, u" data=\"cid:A\""_s, u" data=\""_s + abc, u" data=\""_s,
        u"\""_s, u">"_s, u"<"_s, u"x"_s, u"cid:a"_s };
    const QRegularExpression expression(
        u"<OBJECT[^>]*?data=\""_s + QRegularExpression::escape(abc) + u"\"[^>]*?>"_s,
        QRegularExpression::CaseInsensitiveOption);
    QRandomGenerator random(2026);
    int rewritten = 0;
    for (int round = 0; round < 3000; ++round) {
        QString html;
        const int count = int(random.bounded(1, 14));
        for (int i = 0; i < count; ++i)
            html += pieces[int(random.bounded(qsizetype(pieces.size())))];
        QString expected = html;
        expected.replace(u"cid:a"_s, abc);
        rewritten += expected.contains(expression);
        expected.replace(expression, img(abc));
        const QString text = multipart({ htmlPart(html), imagePart(u"<a>"_s, u"QUJD"_s) });
        QCOMPARE(SignatureReader::parse(text).html, expected + u"\n"_s);
    }
    QVERIFY(rewritten > 200); // the soup must exercise the rewrite, not just the misses
}

void TestSignatureReader::failsOnUnreadableFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("description");

    QTest::addRow("missing") << u"missing.mailsignature"_s << QByteArray()
                             << u"The file “missing.mailsignature” could not be read: "_s;
    QTest::addRow("lone continuation byte") << u"a.mailsignature"_s << QByteArray("A: b\n\n\x80")
                                            << u"The file “a.mailsignature” is not valid UTF-8 text."_s;
    QTest::addRow("Latin-1 text") << u"b.mailsignature"_s << QByteArray("<p>Caf\xe9</p>")
                                  << u"The file “b.mailsignature” is not valid UTF-8 text."_s;
    QTest::addRow("overlong form") << u"c.mailsignature"_s << QByteArray("\xc0\xaf")
                                   << u"The file “c.mailsignature” is not valid UTF-8 text."_s;
    QTest::addRow("encoded surrogate") << u"d.mailsignature"_s << QByteArray("\xed\xa0\x80")
                                       << u"The file “d.mailsignature” is not valid UTF-8 text."_s;
    QTest::addRow("cut off at the end") << u"e.mailsignature"_s << QByteArray("<p>\xe2\x82")
                                        << u"The file “e.mailsignature” is not valid UTF-8 text."_s;
}

void TestSignatureReader::failsOnUnreadableFiles()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, description);

    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (!bytes.isEmpty())
        QVERIFY(test::writeFile(path, bytes));
    SignatureFile file;
    file.filePath = QUrl::fromLocalFile(path);
    const auto content = file.loadContent();
    QVERIFY(!content.has_value());
    // The system's reason follows the colon, in the system's language.
    const QString actual = content.error().description;
    if (description.endsWith(u": "_s))
        QVERIFY2(actual.startsWith(description) && actual.size() > description.size(), qPrintable(actual));
    else
        QCOMPARE(actual, description);
}

void TestSignatureReader::keepsTheFileAsStored()
{
    // A byte order mark and NUL characters are valid UTF-8 and stay where they were.
    QTemporaryDir dir;
    const QString path = dir.filePath(u"bom.mailsignature"_s);
    static const char bytes[] = "\xef\xbb\xbf"
                                "Content-Type: text/html\n\n<p>\0</p>";
    QVERIFY(test::writeFile(path, QByteArray(bytes, sizeof(bytes) - 1)));
    SignatureFile file;
    file.filePath = QUrl::fromLocalFile(path);
    const auto content = file.loadContent();
    QVERIFY(content.has_value());
    QCOMPARE(content->header, QChar(0xFEFF) + u"Content-Type: text/html"_s);
    QCOMPARE(content->html, u"<p>"_s + QChar(0) + u"</p>"_s);

    // A folder can be opened but not read as a file.
    file.filePath = QUrl::fromLocalFile(dir.path());
    const auto folder = file.loadContent();
    QVERIFY(!folder.has_value());
    QVERIFY2(folder.error().description.startsWith(
                 u"The file “"_s + QDir(dir.path()).dirName() + u"” could not be read: "_s),
        qPrintable(folder.error().description));
}

QTEST_GUILESS_MAIN(TestSignatureReader)
#include "tst_signaturereader.moc"
