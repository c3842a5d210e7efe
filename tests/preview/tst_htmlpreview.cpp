#include "preview/HTMLPreviewView.h"
#include "preview/PreviewPage.h"

#include "WebEngineTestMain.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

using namespace veltrin;

namespace {

QVariant evaluate(QWebEnginePage* page, const QString& script)
{
    QVariant result;
    bool done = false;
    page->runJavaScript(script, [&](const QVariant& value) {
        result = value;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 10000))
        qWarning("script did not finish: %s", qPrintable(script));
    return result;
}

// Loads content and waits until the page has finished; returns whether it loaded.
bool loadInto(HTMLPreviewView& view, const QString& content, ColorScheme scheme)
{
    QSignalSpy finished(&view, &QWebEngineView::loadFinished);
    view.updatePage(content, scheme);
    if (!finished.wait(20000))
        return false;
    return finished.last().at(0).toBool();
}

} // namespace

class TestHTMLPreview final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pageTextIsExact();
    void pageTextPieces_data();
    void pageTextPieces();
    void layerColor_data();
    void layerColor();
    void navigationPolicy_data();
    void navigationPolicy();

    void loadsWithSchemeColours_data();
    void loadsWithSchemeColours();
    void linkClicksAreRefused_data();
    void linkClicksAreRefused();
    void relativeAddressesResolveToNothing();
    void pageBeyondDataUrlLimitLoads();
};

void TestHTMLPreview::pageTextIsExact()
{
    const QString expected = QStringLiteral(
        "<!DOCTYPE html>\n<html>\n<head>\n    <meta charset=\"UTF-8\">\n"
        "    <meta name=\"viewport\" content=\"width=device-width, initial-scale=1.0\">\n"
        "    <meta name=\"color-scheme\" content=\"light\">\n    <style>\n        * {\n"
        "            margin: 0;\n            padding: 0;\n            box-sizing: border-box;\n        }\n"
        "        html {\n            background-color: #ffffff;\n        }\n        body {\n"
        "            margin: 0;\n            padding: 20px;\n"
        "            font-family: -apple-system, BlinkMacSystemFont, 'Segoe UI', Roboto, Helvetica, Arial, sans-serif;\n"
        "            background-color: #ffffff !important;\n            color: #000000 !important;\n"
        "            min-height: 100vh;\n        }\n    </style>\n</head>\n<body>\n    <p>Hi</p>\n</body>\n</html>");
    QCOMPARE(HTMLPreviewView::pageText(QStringLiteral("<p>Hi</p>"), ColorScheme::light), expected);
}

void TestHTMLPreview::pageTextPieces_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<ColorScheme>("scheme");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("background");
    QTest::addColumn<QString>("text");
    const QString document = QStringLiteral("<html><head><title>t</title></head><body bgcolor=red>é&amp;</body></html>");
    QTest::addRow("empty light") << QString() << ColorScheme::light << u"light"_qs << u"#ffffff"_qs << u"#000000"_qs;
    QTest::addRow("empty dark") << QString() << ColorScheme::dark << u"dark"_qs << u"#1c1c1e"_qs << u"#ffffff"_qs;
    QTest::addRow("whole document, unchanged") << document << ColorScheme::dark << u"dark"_qs << u"#1c1c1e"_qs
                                               << u"#ffffff"_qs;
    QTest::addRow("markup not escaped") << u"<b>\"x\"</b>\n<script>1<2</script>"_qs << ColorScheme::light
                                        << u"light"_qs << u"#ffffff"_qs << u"#000000"_qs;
}

// Walks the page piece by piece: fixed pieces of the given lengths, the same in both
// schemes, with the scheme's values and the content between them.
void TestHTMLPreview::pageTextPieces()
{
    QFETCH(QString, content);
    QFETCH(ColorScheme, scheme);
    QFETCH(QString, word);
    QFETCH(QString, background);
    QFETCH(QString, text);

    const QString page = HTMLPreviewView::pageText(content, scheme);
    const QString reference = HTMLPreviewView::pageText(QString(), ColorScheme::light);
    const QList<int> fixedLengths{171, 165, 217, 32, 86, 16};
    const QStringList values{word, background, background, text, content};
    const QStringList referenceValues{u"light"_qs, u"#ffffff"_qs, u"#ffffff"_qs, u"#000000"_qs, QString()};
    qsizetype at = 0;
    qsizetype referenceAt = 0;
    for (int i = 0; i < fixedLengths.size(); ++i) {
        QCOMPARE(page.mid(at, fixedLengths[i]), reference.mid(referenceAt, fixedLengths[i]));
        at += fixedLengths[i];
        referenceAt += fixedLengths[i];
        if (i < values.size()) {
            QCOMPARE(page.mid(at, values[i].size()), values[i]);
            at += values[i].size();
            referenceAt += referenceValues[i].size();
        }
    }
    QCOMPARE(at, page.size());
    QCOMPARE(referenceAt, reference.size());
    QVERIFY(page.endsWith(u"<body>\n    " + content + u"\n</body>\n</html>"));
}

void TestHTMLPreview::layerColor_data()
{
    QTest::addColumn<ColorScheme>("scheme");
    QTest::addColumn<QColor>("expected");
    QTest::addRow("light") << ColorScheme::light << QColor(Qt::white);
    QTest::addRow("dark") << ColorScheme::dark << QColor::fromRgbF(0.11f, 0.11f, 0.12f, 1.0f);
}

void TestHTMLPreview::layerColor()
{
    QFETCH(ColorScheme, scheme);
    QFETCH(QColor, expected);
    QCOMPARE(HTMLPreviewView::layerColor(scheme), expected);
    QCOMPARE(HTMLPreviewView::layerColor(scheme).alpha(), 255);
}

void TestHTMLPreview::navigationPolicy_data()
{
    QTest::addColumn<QWebEnginePage::NavigationType>("type");
    QTest::addColumn<bool>("allowed");
    QTest::addRow("link clicked") << QWebEnginePage::NavigationTypeLinkClicked << false;
    QTest::addRow("typed (the page itself)") << QWebEnginePage::NavigationTypeTyped << true;
    QTest::addRow("form submitted") << QWebEnginePage::NavigationTypeFormSubmitted << true;
    QTest::addRow("back or forward") << QWebEnginePage::NavigationTypeBackForward << true;
    QTest::addRow("reload") << QWebEnginePage::NavigationTypeReload << true;
    QTest::addRow("redirect") << QWebEnginePage::NavigationTypeRedirect << true;
    QTest::addRow("other") << QWebEnginePage::NavigationTypeOther << true;
}

void TestHTMLPreview::navigationPolicy()
{
    QFETCH(QWebEnginePage::NavigationType, type);
    QFETCH(bool, allowed);
    QCOMPARE(PreviewPage::allowsNavigation(type), allowed);
}

void TestHTMLPreview::loadsWithSchemeColours_data()
{
    QTest::addColumn<ColorScheme>("scheme");
    QTest::addColumn<QString>("background");
    QTest::addColumn<QString>("text");
    QTest::addRow("light") << ColorScheme::light << u"rgb(255, 255, 255)"_qs << u"rgb(0, 0, 0)"_qs;
    QTest::addRow("dark") << ColorScheme::dark << u"rgb(28, 28, 30)"_qs << u"rgb(255, 255, 255)"_qs;
}

void TestHTMLPreview::loadsWithSchemeColours()
{
    QFETCH(ColorScheme, scheme);
    QFETCH(QString, background);
    QFETCH(QString, text);

    HTMLPreviewView view;
    view.resize(400, 300);
    view.show();
    // The content's own colours lose against the page's.
    QVERIFY(loadInto(view, u"<p id=\"p\" style=\"color: green\">Hello</p>"_qs, scheme));
    QCOMPARE(view.page()->backgroundColor(), HTMLPreviewView::layerColor(scheme));
    QCOMPARE(evaluate(view.page(), u"getComputedStyle(document.body).backgroundColor"_qs).toString(), background);
    QCOMPARE(evaluate(view.page(), u"getComputedStyle(document.body).color"_qs).toString(), text);
    QCOMPARE(evaluate(view.page(), u"document.getElementById('p').textContent"_qs).toString(), u"Hello"_qs);
    QCOMPARE(evaluate(view.page(), u"document.characterSet"_qs).toString(), u"UTF-8"_qs);
    QVERIFY(view.url().scheme() != u"file");

    // Same inputs again: loaded again all the same.
    QVERIFY(loadInto(view, u"<p id=\"p\">Hello</p>"_qs, scheme));
}

void TestHTMLPreview::linkClicksAreRefused_data()
{
    QTest::addColumn<QString>("script");
    QTest::addRow("click") << u"document.getElementById('same').click()"_qs;
    QTest::addRow("new window link") << u"document.getElementById('blank').click()"_qs;
    QTest::addRow("script location") << u"location.href = 'https://example.invalid/'"_qs;
    QTest::addRow("window.open") << u"window.open('https://example.invalid/')"_qs;
}

void TestHTMLPreview::linkClicksAreRefused()
{
    QFETCH(QString, script);

    HTMLPreviewView view;
    view.resize(400, 300);
    view.show();
    QVERIFY(loadInto(view,
                     u"<a id=\"same\" href=\"https://example.invalid/\">same</a>"
                     u"<a id=\"blank\" href=\"https://example.invalid/\" target=\"_blank\">blank</a>"_qs,
                     ColorScheme::light));
    const QUrl before = view.url();
    evaluate(view.page(), script);
    QTest::qWait(300);
    QCOMPARE(view.url(), before);
    QCOMPARE(evaluate(view.page(), u"document.getElementById('same').textContent"_qs).toString(), u"same"_qs);
}

void TestHTMLPreview::relativeAddressesResolveToNothing()
{
    HTMLPreviewView view;
    view.resize(400, 300);
    view.show();
    QVERIFY(loadInto(view, u"<img src=\"logo.png\" onerror=\"document.title='missing'\">"_qs, ColorScheme::light));
    QTRY_COMPARE(evaluate(view.page(), u"document.title"_qs).toString(), u"missing"_qs);
}

void TestHTMLPreview::pageBeyondDataUrlLimitLoads()
{
    // 5 MB, as an inline image of that size brings: far beyond what a data: address takes.
    const QString payload(5'000'000, u'A');
    const QString content = u"<img id=\"big\" alt=\"&lt;logo&gt;\" src=\"data:image/png;base64,"_qs + payload + u"\">"_qs;

    HTMLPreviewView view;
    view.resize(400, 300);
    view.show();
    QVERIFY(loadInto(view, content, ColorScheme::dark));
    QCOMPARE(evaluate(view.page(), u"document.getElementById('big').src.length"_qs).toInt(),
             int(payload.size()) + 22);
    QCOMPARE(evaluate(view.page(), u"getComputedStyle(document.body).backgroundColor"_qs).toString(),
             u"rgb(28, 28, 30)"_qs);
}

VELTRIN_WEBENGINE_TEST_MAIN(TestHTMLPreview)

#include "tst_htmlpreview.moc"
