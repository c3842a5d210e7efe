// The preview's remote content on the road a user's machine takes: servers on public addresses
// (documentation ranges, on the loopback device of a network namespace of the test's own, made by
// scripts/run-in-netns.sh), targets on this machine and its local network that a redirect might
// reach, and an ordinary user's limit of 1024 descriptors.
#include "preview/HTMLPreviewView.h"
#include "preview/PublicOnlyProxy.h"
#include "store/SignatureFile.h"

#include "PageScript.h"
#include "FileLocks.h"
#include "ScriptedHttpServer.h"
#include "TestSupport.h"
#include "WebEngineTestMain.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEngineScript>

#include <memory>

using namespace veltrin;
using Server = veltrin::test::ScriptedHttpServer;

using veltrin::test::evaluate;

namespace {

// Public by the preview's rules, and only on this namespace's loopback device.
const QHostAddress imageHost(u"203.0.113.5"_qs);
const QHostAddress otherImageHost(u"198.51.100.7"_qs);
const QHostAddress redirectingHost(u"192.0.2.10"_qs);
// This machine and its local network, as a redirect may name them.
const QHostAddress privateHost(u"10.20.30.40"_qs);
const QHostAddress linkLocalHost(u"169.254.7.7"_qs);

constexpr int logoWidth = 37;
constexpr int logoHeight = 23;

QByteArray logoPng()
{
    QImage image(logoWidth, logoHeight, QImage::Format_RGB32);
    image.fill(QColor(200, 30, 40));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

Server::Reply imageReply(const QByteArray& png)
{
    return Server::Reply::raw("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: "
        + QByteArray::number(png.size()) + "\r\nConnection: close\r\n\r\n" + png);
}

Server::Reply redirectReply(int status, const QByteArray& location)
{
    return Server::Reply::raw("HTTP/1.1 " + QByteArray::number(status) + " Moved\r\nLocation: " + location
        + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
}

QString origin(const Server& server)
{
    return server.url().adjusted(QUrl::RemovePath).toString();
}

bool loadInto(HTMLPreviewView& view, const QString& content)
{
    QSignalSpy finished(&view, &QWebEngineView::loadFinished);
    view.updatePage(content, ColorScheme::light);
    return finished.wait(30000) && finished.last().at(0).toBool();
}

// Images of the page that are done, whether they loaded or failed, and those that loaded.
std::pair<int, int> imagesDone(HTMLPreviewView& view)
{
    const QVariantList counts = evaluate(view.page(),
        u"(() => { const all = Array.from(document.images);"
        u" return [all.filter(i => i.complete).length, all.filter(i => i.naturalWidth > 0).length]; })()"_qs)
                                    .toList();
    return { counts.value(0).toInt(), counts.value(1).toInt() };
}

qsizetype openDescriptors()
{
    return QDir(u"/proc/self/fd"_qs).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size();
}

// The process's resident memory, in MiB (the web engine's page process not included).
double residentMiB()
{
    QFile status(u"/proc/self/status"_qs);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}

// What failed for the user once the descriptors were gone: a save, which backs the file up first.
void saveSignature()
{
    QTemporaryDir folder;
    const auto unlock = qScopeGuard([&] { veltrin::test::unlockTree(folder.path()); });
    const QString path = folder.filePath(u"logo.mailsignature"_qs);
    QVERIFY(veltrin::test::writeFile(path, "Content-Type: text/html\n\n<img src=\"http://logo.example/\">"));
    SignatureFile signature;
    signature.filePath = QUrl::fromLocalFile(path);
    signature.parentFolderURL = QUrl::fromLocalFile(folder.path());
    const auto saved = signature.save(u"Content-Type: text/html"_qs, u"<p>saved</p>"_qs);
    QVERIFY2(saved.has_value(), saved ? "" : qPrintable(saved.error().description));
    QCOMPARE(signature.backups().size(), 1);
}

} // namespace

class TestRemoteContent final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void logoShows_data();
    void logoShows();
    void relayConnectsStraight();
    void changedProxySettingsLetNothingThrough();
    void hundredsOfImagesAtBoundedCost();
    void redirectsReachNothingLocal_data();
    void redirectsReachNothingLocal();

private:
    void restoreProxySettings();

    QByteArray m_png = logoPng();
    bool m_systemProxies = false;
    QNetworkProxy m_applicationProxy;
};

void TestRemoteContent::restoreProxySettings()
{
    QNetworkProxy::setApplicationProxy(m_applicationProxy);
    QNetworkProxyFactory::setUseSystemConfiguration(m_systemProxies);
}

void TestRemoteContent::initTestCase()
{
    Server probe(imageHost);
    if (!probe.isListening())
        QSKIP("needs a network namespace with documentation addresses on its loopback device: "
              "run through scripts/run-in-netns.sh (root)");
    m_systemProxies = QNetworkProxyFactory::usesSystemConfiguration();
    m_applicationProxy = QNetworkProxy::applicationProxy();
    // Names a public DNS could hand out: one for the image server, one for this machine.
    PublicOnlyProxy::shared().setResolver([](const QString& name, QObject* context, auto done) {
        PublicOnlyProxy::Addresses addresses;
        if (name == u"logo.example")
            addresses = { imageHost };
        else if (name == u"rebound.example")
            addresses = { QHostAddress(QHostAddress::LocalHost) };
        else if (name == u"rebound6.example")
            addresses = { QHostAddress(QHostAddress::LocalHostIPv6), QHostAddress(u"10.20.30.40"_qs) };
        QMetaObject::invokeMethod(context, [done, addresses] { done(addresses); }, Qt::QueuedConnection);
    });
}

void TestRemoteContent::logoShows_data()
{
    QTest::addColumn<QString>("host");
    QTest::addRow("by address") << imageHost.toString();
    QTest::addRow("by a name the proxy resolves") << u"logo.example"_qs;
}

// The logo arrives and is drawn at its own size; afterwards, saving a signature still works.
void TestRemoteContent::logoShows()
{
    QFETCH(QString, host);
    Server server(imageHost, 8080);
    QVERIFY(server.isListening());
    server.setDefaultReply(imageReply(m_png));

    HTMLPreviewView view;
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QVERIFY(loadInto(view, u"<img id=\"logo\" src=\"http://%1:8080/logo.png\">"_qs.arg(host)));
    QTRY_COMPARE_WITH_TIMEOUT(
        evaluate(view.page(), u"document.getElementById('logo').naturalWidth"_qs).toInt(), logoWidth, 20000);
    QCOMPARE(evaluate(view.page(), u"document.getElementById('logo').naturalHeight"_qs).toInt(), logoHeight);
    QCOMPARE(server.requestCount(), 1);
    QCOMPARE(server.requests().first().path, QByteArray("/logo.png"));
    saveSignature();
}

// The relay's own connections go straight, even when the application's proxy is the relay itself:
// otherwise each would come back to it, until the process has no descriptor left.
void TestRemoteContent::relayConnectsStraight()
{
    Server server(imageHost, 8083);
    QVERIFY(server.isListening());
    server.setDefaultReply(imageReply(m_png));
    const QNetworkProxy relay(QNetworkProxy::Socks5Proxy, u"127.0.0.1"_qs, PublicOnlyProxy::shared().port());
    QNetworkProxy::setApplicationProxy(relay);
    const auto restore = qScopeGuard([this] { restoreProxySettings(); });

    QNetworkAccessManager manager;
    manager.setProxy(relay);
    std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(server.url().resolved(QUrl(u"/logo.png"_qs)))));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    QCOMPARE(reply->readAll(), m_png);
    QTRY_COMPARE(PublicOnlyProxy::shared().connectionCount(), 0);
}

// The engine would follow changed proxy settings straight to this machine; then nothing remote loads.
void TestRemoteContent::changedProxySettingsLetNothingThrough()
{
    Server images(imageHost, 8084);
    Server target(QHostAddress(QHostAddress::LocalHost), 8085);
    Server redirecting(redirectingHost, 8086);
    QVERIFY(images.isListening() && target.isListening() && redirecting.isListening());
    images.setDefaultReply(imageReply(m_png));
    redirecting.setDefaultReply(redirectReply(302, origin(target).toUtf8() + "/img"));
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    const auto restore = qScopeGuard([this] { restoreProxySettings(); });

    HTMLPreviewView view;
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QString content = u"<img src=\"%1/logo.png\">"_qs.arg(origin(images));
    for (int i = 0; i < 20; ++i)
        content += u"<img src=\"%1/img/%2.png\">"_qs.arg(origin(redirecting)).arg(i);
    QVERIFY(loadInto(view, content));
    QTRY_COMPARE_WITH_TIMEOUT(imagesDone(view).first, 21, 30000);
    QCOMPARE(imagesDone(view).second, 0);
    QTest::qWait(300);
    QCOMPARE(images.connectionCount() + redirecting.connectionCount() + target.connectionCount(), 0);
}

// 500 remote images: all arrive, the process's descriptors stay far from the 1024 it may hold,
// and files can still be opened and saved.
void TestRemoteContent::hundredsOfImagesAtBoundedCost()
{
    constexpr int images = 500;
    Server first(imageHost, 8081);
    Server second(otherImageHost, 8081);
    QVERIFY(first.isListening() && second.isListening());
    first.setDefaultReply(imageReply(m_png));
    second.setDefaultReply(imageReply(m_png));
    QString content;
    for (int i = 0; i < images; ++i)
        content += u"<img src=\"%1/img/%2.png\">"_qs.arg(origin(i % 2 ? second : first)).arg(i);

    HTMLPreviewView view;
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QVERIFY(loadInto(view, QString())); // the engine's own descriptors are there before the page
    const qsizetype before = openDescriptors();
    const double residentBefore = residentMiB();
    qsizetype peak = before;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, this, [&] { peak = std::max(peak, openDescriptors()); });
    sampler.start(20);
    QVERIFY(loadInto(view, content));
    QTRY_COMPARE_WITH_TIMEOUT(imagesDone(view).second, images, 120000);
    sampler.stop();
    QCOMPARE(first.requestCount() + second.requestCount(), qsizetype(images));
    const qsizetype after = openDescriptors();
    qInfo("descriptors: %lld before the page, at most %lld while it loaded, %lld after; "
          "resident memory: %.0f MiB before, %.0f MiB after",
        qlonglong(before), qlonglong(peak), qlonglong(after), residentBefore, residentMiB());
    // A cost per image, or a connection that comes back to the proxy, would reach the 1024.
    QVERIFY2(peak < 512, qPrintable(QString::number(peak)));
    saveSignature();
}

void TestRemoteContent::redirectsReachNothingLocal_data()
{
    // Where the last hop points: TARGET is replaced by the origin of a server standing there.
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("where"); // loopback, loopback6, private, link-local
    QTest::addColumn<QString>("location");
    QTest::addColumn<bool>("chained"); // through a second public server first
    for (const int status : { 301, 302, 303, 307, 308 })
        QTest::addRow("%d to loopback", status) << status << u"loopback"_qs << u"TARGET"_qs << false;
    QTest::addRow("302 to localhost by name") << 302 << u"loopback"_qs << u"http://localhost:PORT"_qs << false;
    QTest::addRow("302 to IPv6 loopback") << 302 << u"loopback6"_qs << u"TARGET"_qs << false;
    QTest::addRow("302 to a private address") << 302 << u"private"_qs << u"TARGET"_qs << false;
    QTest::addRow("307 to a link-local address") << 307 << u"link-local"_qs << u"TARGET"_qs << false;
    QTest::addRow("302 to a name that resolves to loopback")
        << 302 << u"loopback"_qs << u"http://rebound.example:PORT"_qs << false;
    QTest::addRow("301 to a name that resolves to IPv6 loopback and a private address")
        << 301 << u"loopback6"_qs << u"http://rebound6.example:PORT"_qs << false;
    QTest::addRow("302 then 302 to loopback") << 302 << u"loopback"_qs << u"TARGET"_qs << true;
    QTest::addRow("308 then 308 to a private address") << 308 << u"private"_qs << u"TARGET"_qs << true;
}

// Each case 50 times in one page, images and style sheets: a guard that wins most races fails.
void TestRemoteContent::redirectsReachNothingLocal()
{
    QFETCH(int, status);
    QFETCH(QString, where);
    QFETCH(QString, location);
    QFETCH(bool, chained);
    constexpr int repeats = 50;
    constexpr quint16 targetPort = 8090;

    const QHostAddress targetAddress = where == u"loopback" ? QHostAddress(QHostAddress::LocalHost)
        : where == u"loopback6"                            ? QHostAddress(QHostAddress::LocalHostIPv6)
        : where == u"private"                              ? privateHost
                                                           : linkLocalHost;
    Server target(targetAddress, targetPort);
    QVERIFY(target.isListening());
    target.setDefaultReply(imageReply(m_png));
    // A name that the resolver sends to IPv6 loopback also names the private address.
    std::unique_ptr<Server> alsoPrivate;
    if (location.contains(u"rebound6")) {
        alsoPrivate = std::make_unique<Server>(privateHost, targetPort);
        QVERIFY(alsoPrivate->isListening());
    }
    location.replace(u"TARGET"_qs, origin(target)).replace(u"PORT"_qs, QString::number(targetPort));
    const QByteArray finalHop = location.toUtf8();

    Server hop(otherImageHost, 8091);
    QVERIFY(hop.isListening());
    hop.setResponder([status, finalHop](const Server::Request& request) {
        return redirectReply(status, finalHop + request.path);
    });
    const QByteArray firstHop = chained ? origin(hop).toUtf8() : finalHop;
    Server redirecting(redirectingHost, 8092);
    QVERIFY(redirecting.isListening());
    redirecting.setResponder([status, firstHop](const Server::Request& request) {
        return redirectReply(status, firstHop + request.path);
    });

    QString content;
    for (int i = 0; i < repeats; ++i)
        content += i % 5 == 0 ? u"<link rel=\"stylesheet\" href=\"%1/style/%2.css\">"_qs.arg(origin(redirecting)).arg(i)
                              : u"<img src=\"%1/img/%2.png\">"_qs.arg(origin(redirecting)).arg(i);
    HTMLPreviewView view;
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QVERIFY(loadInto(view, content));
    QTRY_COMPARE_WITH_TIMEOUT(redirecting.requestCount(), qsizetype(repeats), 60000);
    if (chained)
        QTRY_COMPARE_WITH_TIMEOUT(hop.requestCount(), qsizetype(repeats), 60000);
    const int expectedImages = repeats - repeats / 5;
    QTRY_COMPARE_WITH_TIMEOUT(imagesDone(view).first, expectedImages, 60000);
    QCOMPARE(imagesDone(view).second, 0);
    // Every request has been answered and refused; what would still arrive would come late.
    QTest::qWait(300);
    QCOMPARE(target.connectionCount(), 0);
    if (alsoPrivate)
        QCOMPARE(alsoPrivate->connectionCount(), 0);
}

VELTRIN_WEBENGINE_TEST_MAIN(TestRemoteContent)

#include "tst_remotecontent.moc"
