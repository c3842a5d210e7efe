#include "preview/HTMLPreviewView.h"
#include "preview/PreviewPage.h"
#include "preview/PreviewRequestInterceptor.h"
#include "preview/PublicOnlyProxy.h"

#include "PageScript.h"
#include "ScriptedHttpServer.h"
#include "WebEngineTestMain.h"

#include <QApplication>
#include <QHostInfo>
#include <QScopeGuard>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineScript>

using namespace veltrin;

using veltrin::test::evaluate;

namespace {

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
    void initTestCase();
    void pageTextIsExact();
    void pageTextPieces_data();
    void pageTextPieces();
    void layerColor_data();
    void layerColor();
    void navigationPolicy_data();
    void navigationPolicy();
    void requestDecision_data();
    void requestDecision();

    void hostilePagesStayInTheSandbox_data();
    void hostilePagesStayInTheSandbox();
    void contextMenuOffersCopyingOnly();
    void redirectToThisMachineIsRefused();

    void loadsWithSchemeColours_data();
    void loadsWithSchemeColours();
    void linkClicksAreRefused_data();
    void linkClicksAreRefused();
    void relativeAddressesResolveToNothing();
    void pageBeyondDataUrlLimitLoads();
};

void TestHTMLPreview::initTestCase()
{
    // One name leads to this machine, as a public DNS name may; the rest stays the system's.
    PublicOnlyProxy::shared().setResolver([](const QString& name, QObject* context, auto done) {
        if (name != u"rebound.example") {
            QHostInfo::lookupHost(name, context, [done](const QHostInfo& info) { done(info.addresses()); });
            return;
        }
        QMetaObject::invokeMethod(
            context, [done] { done({ QHostAddress(QHostAddress::LocalHost) }); }, Qt::QueuedConnection);
    });
}

void TestHTMLPreview::pageTextIsExact()
{
    const QString expected = QStringLiteral(
        "<!DOCTYPE html>\n<html>\n<head>\n    <meta charset=\"UTF-8\">\n"
        "    <meta name=\"viewport\" content=\"width=device-width, initial-scale=1.0\">\n"
        "    <meta name=\"color-scheme\" content=\"light\">\n    <style>\n        * {\n"
        "            margin: 0;\n            padding: 0;\n            box-sizing: border-box;\n        }\n"
        "        html {\n            background-color: #ffffff;\n        }\n        body {\n"
        "            margin: 0;\n            padding: 20px;\n"
        "            font-family: -apple-system, BlinkMacSystemFont, 'Segoe UI', Roboto, Helvetica, Arial, "
        "sans-serif;\n"
        "            background-color: #ffffff !important;\n            color: #000000 !important;\n"
        "            min-height: 100vh;\n        }\n    </style>\n</head>\n<body>\n    "
        "<p>Hi</p>\n</body>\n</html>");
    QCOMPARE(HTMLPreviewView::pageText(QStringLiteral("<p>Hi</p>"), ColorScheme::light), expected);
}

void TestHTMLPreview::pageTextPieces_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<ColorScheme>("scheme");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("background");
    QTest::addColumn<QString>("text");
    const QString document
        = QStringLiteral("<html><head><title>t</title></head><body bgcolor=red>é&amp;</body></html>");
    QTest::addRow("empty light") << QString() << ColorScheme::light << u"light"_qs << u"#ffffff"_qs
                                 << u"#000000"_qs;
    QTest::addRow("empty dark") << QString() << ColorScheme::dark << u"dark"_qs << u"#1c1c1e"_qs
                                << u"#ffffff"_qs;
    QTest::addRow("whole document, unchanged")
        << document << ColorScheme::dark << u"dark"_qs << u"#1c1c1e"_qs << u"#ffffff"_qs;
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
    const QList<int> fixedLengths { 171, 165, 217, 32, 86, 16 };
    const QStringList values { word, background, background, text, content };
    const QStringList referenceValues { u"light"_qs, u"#ffffff"_qs, u"#ffffff"_qs, u"#000000"_qs, QString() };
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
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<QWebEnginePage::NavigationType>("type");
    QTest::addColumn<bool>("isMainFrame");
    QTest::addColumn<bool>("allowed");
    const QUrl own(u"veltrin-preview://page/3"_qs);
    const QUrl other(u"https://example.com/"_qs);
    const QUrl older(u"veltrin-preview://page/2"_qs);
    QTest::addRow("own page, typed") << own << QWebEnginePage::NavigationTypeTyped << true << true;
    QTest::addRow("own page, reload") << own << QWebEnginePage::NavigationTypeReload << true << true;
    QTest::addRow("own page, clicked") << own << QWebEnginePage::NavigationTypeLinkClicked << true << false;
    QTest::addRow("own page in a frame") << own << QWebEnginePage::NavigationTypeTyped << false << false;
    QTest::addRow("older page") << older << QWebEnginePage::NavigationTypeBackForward << true << false;
    const QList<std::pair<const char*, QWebEnginePage::NavigationType>> types {
        { "typed", QWebEnginePage::NavigationTypeTyped },
        { "link clicked", QWebEnginePage::NavigationTypeLinkClicked },
        { "form submitted", QWebEnginePage::NavigationTypeFormSubmitted },
        { "back or forward", QWebEnginePage::NavigationTypeBackForward },
        { "reload", QWebEnginePage::NavigationTypeReload },
        { "redirect", QWebEnginePage::NavigationTypeRedirect },
        { "other", QWebEnginePage::NavigationTypeOther }
    };
    for (const auto& [name, type] : types) {
        QTest::addRow("elsewhere, %s", name) << other << type << true << false;
        QTest::addRow("frame elsewhere, %s", name) << other << type << false << false;
    }
}

void TestHTMLPreview::navigationPolicy()
{
    QFETCH(QUrl, url);
    QFETCH(QWebEnginePage::NavigationType, type);
    QFETCH(bool, isMainFrame);
    QFETCH(bool, allowed);
    QCOMPARE(
        PreviewPage::allowsNavigation(url, type, isMainFrame, QUrl(u"veltrin-preview://page/3"_qs)), allowed);
}

void TestHTMLPreview::requestDecision_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("allowed");
    QTest::addRow("public image") << u"http://93.184.216.34/logo.png"_qs << true;
    QTest::addRow("public style, by name") << u"https://fonts.example.com/a.css"_qs << true;
    QTest::addRow("public IPv6") << u"https://[2606:4700::1111]/x.png"_qs << true;
    QTest::addRow("next to a private range") << u"http://172.32.0.1/x.png"_qs << true;
    QTest::addRow("inline data") << u"data:image/png;base64,AAAA"_qs << true;
    QTest::addRow("own page") << u"veltrin-preview://page/1"_qs << true;
    QTest::addRow("file") << u"file:///etc/passwd"_qs << false;
    QTest::addRow("ftp") << u"ftp://example.com/x"_qs << false;
    QTest::addRow("websocket") << u"ws://example.com/x"_qs << false;
    QTest::addRow("loopback") << u"http://127.0.0.1:8080/x"_qs << false;
    QTest::addRow("loopback, elsewhere in 127/8") << u"https://127.1.2.3/x"_qs << false;
    QTest::addRow("unspecified") << u"http://0.0.0.0/x"_qs << false;
    QTest::addRow("localhost") << u"http://localhost:631/"_qs << false;
    QTest::addRow("localhost, upper case, trailing dot") << u"http://LOCALHOST./"_qs << false;
    QTest::addRow("under localhost") << u"http://api.localhost/"_qs << false;
    QTest::addRow("private 10/8") << u"http://10.1.2.3/"_qs << false;
    QTest::addRow("private 172.16/12") << u"http://172.31.255.1/"_qs << false;
    QTest::addRow("private 192.168/16") << u"https://192.168.1.1/"_qs << false;
    QTest::addRow("shared 100.64/10") << u"http://100.64.0.1/"_qs << false;
    QTest::addRow("link-local, cloud metadata") << u"http://169.254.169.254/latest"_qs << false;
    QTest::addRow("IPv6 loopback") << u"http://[::1]:8080/"_qs << false;
    QTest::addRow("IPv4-mapped loopback") << u"http://[::ffff:127.0.0.1]/"_qs << false;
    QTest::addRow("IPv6 link-local") << u"http://[fe80::1]/"_qs << false;
    QTest::addRow("IPv6 unique local") << u"http://[fd12:3456::1]/"_qs << false;
    QTest::addRow("multicast") << u"http://239.255.255.250:1900/"_qs << false;
    QTest::addRow("name without a dot") << u"http://printer/"_qs << false;
    QTest::addRow("mDNS name") << u"http://printer.local/"_qs << false;
    QTest::addRow("home network name") << u"http://nas.home.arpa/"_qs << false;
}

void TestHTMLPreview::requestDecision()
{
    QFETCH(QString, url);
    QFETCH(bool, allowed);
    QCOMPARE(PreviewRequestInterceptor::allowsRequest(QUrl(url)), allowed);
}

void TestHTMLPreview::hostilePagesStayInTheSandbox_data()
{
    QTest::addColumn<QString>("content");
    // BASE stands for the address of the test's own server on 127.0.0.1; LOCALHOST for the same by name.
    QTest::addRow("inline script sets location")
        << u"<script>document.title='ran'; location.href='BASE/script'</script>"_qs;
    QTest::addRow("location.replace on load")
        << u"<body onload=\"document.title='ran'; location.replace('BASE/onload')\"></body>"_qs;
    QTest::addRow("meta refresh") << u"<meta http-equiv=\"refresh\" content=\"0;url=BASE/refresh\">"_qs;
    QTest::addRow("meta refresh to a file")
        << u"<meta http-equiv=\"refresh\" content=\"0;url=file:///etc/hostname\">"_qs;
    QTest::addRow("script-submitted form")
        << u"<form id=\"f\" action=\"BASE/form\" method=\"post\"><input name=\"a\" value=\"b\"></form>"
           u"<script>document.title='ran'; document.getElementById('f').submit()</script>"_qs;
    QTest::addRow("iframe sets top.location")
        << u"<iframe srcdoc=\"<script>parent.document.title='ran'; top.location='BASE/top'</script>\"></iframe>"_qs;
    QTest::addRow("alert, confirm and prompt in a loop")
        << u"<script>document.title='ran'; for (;;) { alert(1); confirm(2); prompt(3); }</script>"_qs;
    QTest::addRow("file chooser") << u"<input id=\"file\" type=\"file\"><script>document.title='ran'; "
                                     u"document.getElementById('file').click()</script>"_qs;
    QTest::addRow("new window") << u"<script>document.title='ran'; window.open('BASE/open')</script>"_qs;
    QTest::addRow("image") << u"<img src=\"BASE/img\"><img src=\"LOCALHOST/img\">"_qs;
    // REBOUND: a name the checks on names let through, which resolves to the same server.
    QTest::addRow("name that resolves to this machine")
        << u"<img src=\"REBOUND/img\"><link rel=\"stylesheet\" href=\"REBOUND/style\">"_qs;
    QTest::addRow("style sheet") << u"<link rel=\"stylesheet\" href=\"BASE/style\">"_qs;
    QTest::addRow("style import and background")
        << u"<style>@import url(BASE/import); p { background: url(BASE/background) }</style>"_qs;
    QTest::addRow("iframe") << u"<iframe src=\"BASE/frame\"></iframe>"_qs;
    QTest::addRow("object and embed")
        << u"<object data=\"BASE/object\"></object><embed src=\"BASE/embed\">"_qs;
    QTest::addRow("fetch")
        << u"<script>document.title='ran'; fetch('BASE/fetch', {mode: 'no-cors'})</script>"_qs;
    QTest::addRow("beacon")
        << u"<script>document.title='ran'; navigator.sendBeacon('BASE/beacon', 'x')</script>"_qs;
    QTest::addRow("prefetch and preload")
        << u"<link rel=\"prefetch\" href=\"BASE/prefetch\"><link rel=\"preload\" as=\"image\" href=\"BASE/preload\">"_qs;
}

// Nothing may reach the server, no dialog or window may open, and the page stays on screen.
void TestHTMLPreview::hostilePagesStayInTheSandbox()
{
    QFETCH(QString, content);
    veltrin::test::ScriptedHttpServer server;
    const QString base = server.url().adjusted(QUrl::RemovePath).toString();
    QUrl byName = server.url().adjusted(QUrl::RemovePath);
    byName.setHost(u"localhost"_qs);
    content.replace(u"BASE"_qs, base).replace(u"LOCALHOST"_qs, byName.toString());
    QUrl rebound = byName;
    rebound.setHost(u"rebound.example"_qs);
    const bool throughTheProxy = content.contains(u"REBOUND"_qs);
    content.replace(u"REBOUND"_qs, rebound.toString());
    QSignalSpy refused(&PublicOnlyProxy::shared(), &PublicOnlyProxy::refused);

    HTMLPreviewView view;
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const QWidgetList before = QApplication::topLevelWidgets();
    QVERIFY(loadInto(view, u"<p id=\"marker\">still here</p>"_qs + content, ColorScheme::light));
    const QUrl own = view.url();
    // A click where the file chooser sits, in case a script could not reach it.
    QTest::mouseClick(view.focusProxy(), Qt::LeftButton, {}, QPoint(40, 50));
    // Absence can only be watched for a while: long enough for a refresh, a frame and a request.
    QTest::qWait(1500);

    QCOMPARE(server.requestCount(), 0);
    if (throughTheProxy) // the name did get as far as the proxy, which refused it
        QVERIFY(refused.contains(QVariantList { u"rebound.example"_qs }));
    QCOMPARE(view.url(), own);
    QCOMPARE(evaluate(view.page(), u"document.getElementById('marker').textContent"_qs).toString(),
        u"still here"_qs);
    QVERIFY(evaluate(view.page(), u"document.title"_qs).toString() != u"ran");
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    for (QWidget* widget : QApplication::topLevelWidgets())
        QVERIFY2(before.contains(widget) || !widget->isVisible(), widget->metaObject()->className());
}

// A public server may answer with a redirect to this machine; the redirect is a request of its own,
// and meets the proxy's check when it connects. (The namespaced remote-content test walks this
// road with public addresses and many redirects at once.)
void TestHTMLPreview::redirectToThisMachineIsRefused()
{
    // Another address of this machine, which only the redirect names.
    veltrin::test::ScriptedHttpServer target(QHostAddress(u"127.0.0.2"_qs));
    QVERIFY(target.isListening());
    // The redirecting server stands for a public one: 127.0.0.1, and only that, counts as public here.
    veltrin::test::ScriptedHttpServer redirecting;
    redirecting.setDefaultReply(veltrin::test::ScriptedHttpServer::Reply::raw(
        "HTTP/1.1 302 Found\r\nLocation: " + target.url().toEncoded() + "\r\nContent-Length: 0\r\n\r\n"));
    PublicOnlyProxy::shared().setAddressPolicy(
        [](const QHostAddress& address) { return address == QHostAddress(QHostAddress::LocalHost); });
    const auto restore = qScopeGuard([] { PublicOnlyProxy::shared().setAddressPolicy(&PublicOnlyProxy::isPublic); });
    QUrl start = redirecting.url();
    start.setHost(u"rebound.example"_qs);

    HTMLPreviewView view;
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QVERIFY(loadInto(view,
        u"<img src=\"%1/image\"><link rel=\"stylesheet\" href=\"%1/style\">"_qs.arg(start.toString()),
        ColorScheme::light));
    QTRY_COMPARE_WITH_TIMEOUT(redirecting.requestCount(), 2, 10000);
    // Absence can only be watched for a while.
    QTest::qWait(1000);
    QCOMPARE(target.connectionCount(), 0);
}

void TestHTMLPreview::contextMenuOffersCopyingOnly()
{
    HTMLPreviewView view;
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QVERIFY(loadInto(view, u"<p id=\"p\">Some words</p><a href=\"https://example.com/\">a link</a>"_qs,
        ColorScheme::light));
    evaluate(view.page(), u"getSelection().selectAllChildren(document.getElementById('p'))"_qs);
    QTRY_VERIFY(view.hasSelection());
    const QPoint at(30, 30);
    QTest::mouseClick(view.focusProxy(), Qt::RightButton, {}, at);
    QTRY_VERIFY(view.findChild<QMenu*>(u"previewContextMenu"_qs) != nullptr);
    QMenu* menu = view.findChild<QMenu*>(u"previewContextMenu"_qs);
    QVERIFY(menu && !menu->actions().isEmpty());
    for (QAction* action : menu->actions())
        QVERIFY2(action == view.pageAction(QWebEnginePage::Copy)
                || action == view.pageAction(QWebEnginePage::CopyLinkToClipboard)
                || action == view.pageAction(QWebEnginePage::CopyImageToClipboard),
            qPrintable(action->text()));
    QVERIFY(menu->actions().contains(view.pageAction(QWebEnginePage::Copy)));
    menu->close();
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
    QCOMPARE(
        evaluate(view.page(), u"getComputedStyle(document.body).backgroundColor"_qs).toString(), background);
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
    QVERIFY(loadInto(view, u"<img src=\"logo.png\">"_qs, ColorScheme::light));
    QTRY_VERIFY(
        evaluate(view.page(), u"document.images[0].complete && document.images[0].naturalWidth === 0"_qs)
            .toBool());
}

void TestHTMLPreview::pageBeyondDataUrlLimitLoads()
{
    // 5 MB, as an inline image of that size brings: far beyond what a data: address takes.
    const QString payload(5'000'000, u'A');
    const QString content
        = u"<img id=\"big\" alt=\"&lt;logo&gt;\" src=\"data:image/png;base64,"_qs + payload + u"\">"_qs;

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
