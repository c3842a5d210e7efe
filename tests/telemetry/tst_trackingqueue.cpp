#include "ScriptedHttpServer.h"
#include "TestSupport.h"

#include "telemetry/TrackingQueue.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace veltrin;
using namespace std::chrono_literals;
using Reply = test::ScriptedHttpServer::Reply;
using Result = TrackingQueue::SendResult;

namespace {

QByteArray item(int n)
{
    return "{\"n\":" + QByteArray::number(n) + "}";
}

QList<QByteArray> items(int from, int to)
{
    QList<QByteArray> list;
    for (int n = from; n <= to; ++n)
        list << item(n);
    return list;
}

bool finished(const QFuture<void>& future, int timeoutMs = 15000)
{
    return QTest::qWaitFor([&future] { return future.isFinished(); }, timeoutMs);
}

// A reply whose outcome is fixed, for the classification alone.
class CannedReply final : public QNetworkReply {
public:
    CannedReply(NetworkError error, const QVariant& status)
    {
        setError(error, QString());
        if (status.isValid())
            setAttribute(QNetworkRequest::HttpStatusCodeAttribute, status);
        setFinished(true);
    }
    void abort() override { }

protected:
    qint64 readData(char*, qint64) override { return -1; }
};

} // namespace

class TestTrackingQueue : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void fileFollowsEveryStep();
    void requestCarriesTheItemAsJson();
    void outcomes_data();
    void outcomes();
    void classification_data();
    void classification();
    void statuses_data();
    void statuses();
    void desktopProxy_data();
    void desktopProxy();
    void retryStartsWithTheFailedItem();
    void restartResendsTheItemInFlight();
    void eventWhileInFlightJoinsTheRunningLoop();
    void capacityDropsTheOldest();
    void trimOfTheItemInFlightKeepsTheNextOne();
    void unreadableFileStartsEmpty_data();
    void unreadableFileStartsEmpty();
    void largeValidFileKeepsTheNewest();
    void fileSizeLimit_data();
    void fileSizeLimit();
    void decodeItems_data();
    void decodeItems();
    void withoutFileWorksInMemory();
    void queueFileLiesInApplicationSupport();

private:
    QList<QByteArray> fileItems() const;
    void writeQueueFile(const QList<QByteArray>& list) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
};

void TestTrackingQueue::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    test::clearProxyVariables();
}

void TestTrackingQueue::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_file = m_dir->filePath(QStringLiteral("tracking-queue.json"));
}

QList<QByteArray> TestTrackingQueue::fileItems() const
{
    QFile file(m_file);
    if (!file.open(QIODevice::ReadOnly))
        return { "<no file>" };
    return TrackingQueue::decodeItems(file.readAll()).value_or(QList<QByteArray> { "<undecodable>" });
}

void TestTrackingQueue::writeQueueFile(const QList<QByteArray>& list) const
{
    QVERIFY(test::writeFile(m_file, TrackingQueue::encodeItems(list)));
}

void TestTrackingQueue::fileFollowsEveryStep()
{
    test::ScriptedHttpServer server;
    server.script({ Reply::withStatus(200, 1500ms) });
    TrackingQueue queue(server.url(), QUrl::fromLocalFile(m_file));
    QVERIFY(!QFile::exists(m_file)); // creating the queue reads and writes nothing

    const QFuture<void> done = queue.enqueue(item(1));
    QTRY_COMPARE(server.requestCount(), 1);
    QCOMPARE(fileItems(), items(1, 1)); // on disk while its request is in flight
    QVERIFY(finished(done));
    QCOMPARE(fileItems(), QList<QByteArray>());

    QFile file(m_file);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("[]"));
}

void TestTrackingQueue::requestCarriesTheItemAsJson()
{
    test::ScriptedHttpServer server;
    TrackingQueue queue(server.url(), QUrl::fromLocalFile(m_file));
    const QByteArray body = "{\"event\":\"install\",\"payload\":{}}";
    QVERIFY(finished(queue.enqueue(body)));

    QCOMPARE(server.requestCount(), 1);
    const auto request = server.requests().constFirst();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.path, QByteArray("/v1/events"));
    QCOMPARE(request.headers.value("content-type"), QByteArray("application/json"));
    QCOMPARE(request.body, body);
}

void TestTrackingQueue::outcomes_data()
{
    QTest::addColumn<QList<Reply>>("replies");
    QTest::addColumn<QList<QByteArray>>("left");

    QTest::addRow("2xx sends all") << QList<Reply> { Reply::withStatus(200), Reply::withStatus(204) }
                                   << QList<QByteArray>();
    QTest::addRow("404 drops and goes on")
        << QList<Reply> { Reply::withStatus(404), Reply::withStatus(201) } << QList<QByteArray>();
    QTest::addRow("400 drops and goes on")
        << QList<Reply> { Reply::withStatus(400), Reply::withStatus(200) } << QList<QByteArray>();
    QTest::addRow("500 stops") << QList<Reply> { Reply::withStatus(500) } << items(1, 2);
    QTest::addRow("503 stops") << QList<Reply> { Reply::withStatus(503) } << items(1, 2);
    QTest::addRow("304 stops") << QList<Reply> { Reply::withStatus(304) } << items(1, 2);
    QTest::addRow("dropped connection stops")
        << QList<Reply> { Reply::dropped(), Reply::dropped(), Reply::dropped() } << items(1, 2);
    QTest::addRow("bytes that are not HTTP stop")
        << QList<Reply> { Reply::raw("SSH-2.0-nope\r\n"), Reply::raw("\x00\x01\x02"), Reply::raw("?") }
        << items(1, 2);
    QTest::addRow("timeout stops") << QList<Reply> { Reply::withStatus(200, 4000ms) } << items(1, 2);
}

void TestTrackingQueue::outcomes()
{
    QFETCH(QList<Reply>, replies);
    QFETCH(QList<QByteArray>, left);
    test::ScriptedHttpServer server;
    server.script(replies);
    server.setDefaultReply(Reply::withStatus(500));
    writeQueueFile(items(1, 2));

    TrackingQueue queue(server.url(), QUrl::fromLocalFile(m_file), 1000ms);
    QVERIFY(finished(queue.flush()));

    QCOMPARE(fileItems(), left);
    if (!left.isEmpty()) {
        // The loop stopped at the head: the second item was never offered.
        for (const QByteArray& body : server.bodies())
            QCOMPARE(body, item(1));
    } else {
        QCOMPARE(server.bodies(), items(1, 2));
    }
}

void TestTrackingQueue::classification_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<QVariant>("status");
    QTest::addColumn<Result>("result");

    QTest::addRow("200") << int(QNetworkReply::NoError) << QVariant(200) << Result::sent;
    QTest::addRow("299") << int(QNetworkReply::NoError) << QVariant(299) << Result::sent;
    QTest::addRow("400") << int(QNetworkReply::ProtocolInvalidOperationError) << QVariant(400)
                         << Result::rejected;
    QTest::addRow("404") << int(QNetworkReply::ContentNotFoundError) << QVariant(404) << Result::rejected;
    QTest::addRow("499") << int(QNetworkReply::UnknownContentError) << QVariant(499) << Result::rejected;
    QTest::addRow("199") << int(QNetworkReply::NoError) << QVariant(199) << Result::retryLater;
    QTest::addRow("302") << int(QNetworkReply::NoError) << QVariant(302) << Result::retryLater;
    QTest::addRow("500") << int(QNetworkReply::InternalServerError) << QVariant(500) << Result::retryLater;
    QTest::addRow("600") << int(QNetworkReply::UnknownServerError) << QVariant(600) << Result::retryLater;
    QTest::addRow("no HTTP status, no error") << int(QNetworkReply::NoError) << QVariant() << Result::sent;
    QTest::addRow("connection refused")
        << int(QNetworkReply::ConnectionRefusedError) << QVariant() << Result::retryLater;
    QTest::addRow("timeout") << int(QNetworkReply::OperationCanceledError) << QVariant()
                             << Result::retryLater;
    QTest::addRow("200 then cut off")
        << int(QNetworkReply::RemoteHostClosedError) << QVariant(200) << Result::retryLater;
    QTest::addRow("unknown protocol")
        << int(QNetworkReply::ProtocolUnknownError) << QVariant() << Result::retryLater;
    // Qt reports these statuses as errors of the proxy and authentication kind: still replies.
    QTest::addRow("407") << int(QNetworkReply::ProxyAuthenticationRequiredError) << QVariant(407)
                         << Result::rejected;
    QTest::addRow("401") << int(QNetworkReply::AuthenticationRequiredError) << QVariant(401)
                         << Result::rejected;
    QTest::addRow("404 then cut off")
        << int(QNetworkReply::RemoteHostClosedError) << QVariant(404) << Result::retryLater;
    QTest::addRow("200 then timed out")
        << int(QNetworkReply::OperationCanceledError) << QVariant(200) << Result::retryLater;
    QTest::addRow("404 then the proxy closed")
        << int(QNetworkReply::ProxyConnectionClosedError) << QVariant(404) << Result::retryLater;
}

void TestTrackingQueue::classification()
{
    QFETCH(int, error);
    QFETCH(QVariant, status);
    QFETCH(Result, result);
    const CannedReply reply(QNetworkReply::NetworkError(error), status);
    QCOMPARE(TrackingQueue::classify(reply), result);
}

void TestTrackingQueue::statuses_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("removed"); // sent or rejected; else the loop stops at the head
    for (const int status : { 200, 204, 400, 401, 404, 407, 429 })
        QTest::addRow("%d", status) << status << true;
    for (const int status : { 301, 500, 503 })
        QTest::addRow("%d", status) << status << false;
}

// As the endpoint's server answers them, through Qt's own reading of the reply.
void TestTrackingQueue::statuses()
{
    QFETCH(int, status);
    QFETCH(bool, removed);
    test::ScriptedHttpServer server;
    server.setDefaultReply(Reply::withStatus(status));
    writeQueueFile(items(1, 2));

    TrackingQueue queue(server.url(), QUrl::fromLocalFile(m_file), 5000ms);
    QVERIFY(finished(queue.flush()));

    QCOMPARE(server.bodies(), removed ? items(1, 2) : items(1, 1));
    QCOMPARE(fileItems(), removed ? QList<QByteArray>() : items(1, 2));
}

namespace {

const char* const kInNamespace = "VELTRIN_TEST_IN_NETWORK_NAMESPACE";
// A public address of this machine inside the test's network namespace, so that nothing treats
// it as loopback.
const QString kPublicAddress = QStringLiteral("192.0.2.10");
// A name that resolves nowhere: only a proxy can take a request for it.
const QString kUnresolvable = QStringLiteral("events.veltrin.invalid");

// "unshare" with a new user and network namespace, running the command there once the
// namespace's loopback device is up and holds kPublicAddress.
QStringList inNetworkNamespace(const QStringList& command)
{
    const QString setUp = QStringLiteral("ip link set lo up && ip addr add %1/32 dev lo"
                                         " && exec \"$0\" \"$@\"");
    return QStringList { QStringLiteral("--map-root-user"), QStringLiteral("--net"), QStringLiteral("sh"),
               QStringLiteral("-c"), setUp.arg(kPublicAddress) }
        + command;
}

// Runs the current row again in a network namespace of its own, where the only network is this
// machine's and no request, nor a name lookup, can leave it.
void runInNetworkNamespace(const char* function)
{
    QProcess probe;
    probe.start(QStringLiteral("unshare"), inNetworkNamespace({ QStringLiteral("true") }));
    const bool available = probe.waitForFinished(30000) && probe.exitStatus() == QProcess::NormalExit
        && probe.exitCode() == 0;
    if (!available) {
        const QByteArray why
            = "no network namespace of our own (unshare, ip): " + probe.readAllStandardError().trimmed();
        if (test::inCi())
            QFAIL(why.constData());
        QSKIP(why.constData());
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kInNamespace), QStringLiteral("1"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("unshare"),
        inNetworkNamespace({ QCoreApplication::applicationFilePath(),
            QString::fromLatin1(function) + u':' + QString::fromUtf8(QTest::currentDataTag()) }));
    QVERIFY(child.waitForFinished(120000));
    const QByteArray output = child.readAll();
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
}

} // namespace

void TestTrackingQueue::desktopProxy_data()
{
    // "@proxy": the desktop's proxy; "@public": the address of the endpoint's own server.
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("endpoint"); // "@public": the endpoint's own server
    QTest::addColumn<bool>("applicationProxy"); // another part of the process sets one
    QTest::addColumn<QByteArray>("proxySees"); // the request line's method and target; empty: nothing
    QTest::addColumn<bool>("delivered");

    const QString byName = QStringLiteral("http://%1/v1/events").arg(kUnresolvable);
    const QByteArray postByName = "POST " + byName.toLatin1();
    QTest::addRow("http_proxy") << QStringList { QStringLiteral("http_proxy=@proxy") } << byName << false
                                << postByName << true;
    QTest::addRow("HTTP_PROXY") << QStringList { QStringLiteral("HTTP_PROXY=@proxy") } << byName << false
                                << postByName << true;
    QTest::addRow("http_proxy, and an application proxy")
        << QStringList { QStringLiteral("http_proxy=@proxy") } << byName << true << postByName << true;
    // Without TLS on the far side the tunnel is refused, but the proxy was asked for it.
    QTest::addRow("https_proxy, https endpoint")
        << QStringList { QStringLiteral("https_proxy=@proxy") }
        << QStringLiteral("https://%1/v1/events").arg(kUnresolvable) << false
        << QByteArray("CONNECT " + kUnresolvable.toLatin1() + ":443") << false;
    QTest::addRow("https_proxy, http endpoint")
        << QStringList { QStringLiteral("https_proxy=@proxy") } << QStringLiteral("@public") << false
        << QByteArray() << true;
    QTest::addRow("no_proxy names the endpoint")
        << QStringList { QStringLiteral("http_proxy=@proxy"), QStringLiteral("no_proxy=localhost,@public") }
        << QStringLiteral("@public") << false << QByteArray() << true;
    QTest::addRow("no desktop proxy, an application proxy")
        << QStringList() << QStringLiteral("@public") << true << QByteArray() << true;
}

// The road of an envelope on a network that reaches the outside only through a proxy, which the
// desktop names in the environment.
void TestTrackingQueue::desktopProxy()
{
    if (!qEnvironmentVariableIsSet(kInNamespace)) {
        runInNetworkNamespace("desktopProxy");
        return;
    }
    QFETCH(QStringList, environment);
    QFETCH(QString, endpoint);
    QFETCH(bool, applicationProxy);
    QFETCH(QByteArray, proxySees);
    QFETCH(bool, delivered);

    test::ScriptedHttpServer proxy;
    // A tunnel would need TLS behind it; a plain request is answered by the proxy itself.
    proxy.setResponder([](const test::ScriptedHttpServer::Request& request) {
        return Reply::withStatus(request.method == "CONNECT" ? 502 : 200);
    });
    test::ScriptedHttpServer relay; // the application proxy, which must see nothing
    test::ScriptedHttpServer server { QHostAddress(kPublicAddress) };
    QVERIFY(server.url().port() > 0);

    const QString proxyURL = QStringLiteral("http://127.0.0.1:%1").arg(proxy.url().port());
    test::clearProxyVariables();
    for (const QString& entry : std::as_const(environment)) {
        const QString value = QString(entry.section(u'=', 1))
                                  .replace(QStringLiteral("@proxy"), proxyURL)
                                  .replace(QStringLiteral("@public"), kPublicAddress);
        qputenv(entry.section(u'=', 0, 0).toLatin1().constData(), value.toLocal8Bit());
    }
    QNetworkProxy::setApplicationProxy(QNetworkProxy::DefaultProxy);
    if (applicationProxy)
        QNetworkProxy::setApplicationProxy(QNetworkProxy(
            QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), quint16(relay.url().port())));

    writeQueueFile(items(1, 1));
    const QUrl url = endpoint == u"@public" ? server.url() : QUrl(endpoint);
    TrackingQueue queue(url, QUrl::fromLocalFile(m_file), 5000ms);
    QVERIFY(finished(queue.flush()));

    QCOMPARE(relay.requestCount(), 0);
    if (proxySees.isEmpty()) {
        QCOMPARE(proxy.requestCount(), 0);
        QCOMPARE(server.bodies(), items(1, 1));
    } else {
        QCOMPARE(proxy.requestCount(), 1);
        const test::ScriptedHttpServer::Request request = proxy.requests().constFirst();
        QCOMPARE(request.method + ' ' + request.path, proxySees);
        if (request.method == "POST")
            QCOMPARE(request.body, item(1));
        QCOMPARE(server.requestCount(), 0);
    }
    QCOMPARE(fileItems(), delivered ? QList<QByteArray>() : items(1, 1));
}

void TestTrackingQueue::retryStartsWithTheFailedItem()
{
    test::ScriptedHttpServer server;
    server.script({ Reply::withStatus(503) });
    TrackingQueue queue(server.url(), QUrl::fromLocalFile(m_file));

    QVERIFY(finished(queue.enqueue(item(1))));
    QCOMPARE(fileItems(), items(1, 1));
    QVERIFY(finished(queue.enqueue(item(2))));

    QCOMPARE(server.bodies(), (QList<QByteArray> { item(1), item(1), item(2) }));
    QCOMPARE(fileItems(), QList<QByteArray>());
}

void TestTrackingQueue::restartResendsTheItemInFlight()
{
    test::ScriptedHttpServer server;
    server.script({ Reply::withStatus(200, 5000ms) });
    {
        TrackingQueue queue(server.url(), QUrl::fromLocalFile(m_file));
        queue.enqueue(item(1));
        queue.enqueue(item(2));
        QTRY_COMPARE(server.requestCount(), 1);
        queue.enqueue(item(3)); // posted, still to run when the process ends
    } // the process ends with the first request unanswered

    QCOMPARE(fileItems(), items(1, 3));
    TrackingQueue next(server.url(), QUrl::fromLocalFile(m_file));
    QVERIFY(finished(next.flush()));
    QCOMPARE(server.bodies(), (QList<QByteArray> { item(1), item(1), item(2), item(3) }));
    QCOMPARE(fileItems(), QList<QByteArray>());
}

void TestTrackingQueue::eventWhileInFlightJoinsTheRunningLoop()
{
    test::ScriptedHttpServer server;
    server.script({ Reply::withStatus(200, 2000ms) });
    TrackingQueue queue(server.url(), QUrl::fromLocalFile(m_file));

    const QFuture<void> first = queue.enqueue(item(1));
    QTRY_COMPARE(server.requestCount(), 1);
    const QFuture<void> second = queue.enqueue(item(2));
    const QFuture<void> extraFlush = queue.flush();
    QVERIFY(finished(second, 1500));
    QVERIFY(finished(extraFlush, 1500));
    QVERIFY(!first.isFinished());
    QCOMPARE(fileItems(), items(1, 2)); // appended and saved at once
    QCOMPARE(server.requestCount(), 1); // still one request in flight

    QVERIFY(finished(first));
    QCOMPARE(server.bodies(), items(1, 2));
    QCOMPARE(fileItems(), QList<QByteArray>());
}

void TestTrackingQueue::capacityDropsTheOldest()
{
    test::ScriptedHttpServer server;
    server.setDefaultReply(Reply::withStatus(500));
    writeQueueFile(items(1, 500));
    TrackingQueue queue(server.url(), QUrl::fromLocalFile(m_file));

    QVERIFY(finished(queue.enqueue(item(501))));
    QCOMPARE(fileItems(), items(2, 501));
    QCOMPARE(server.bodies(), items(2, 2));
}

void TestTrackingQueue::trimOfTheItemInFlightKeepsTheNextOne()
{
    test::ScriptedHttpServer server;
    server.script({ Reply::withStatus(200, 1500ms) });
    server.setDefaultReply(Reply::withStatus(500));
    writeQueueFile(items(1, 500));
    TrackingQueue queue(server.url(), QUrl::fromLocalFile(m_file));

    const QFuture<void> loop = queue.flush();
    QTRY_COMPARE(server.requestCount(), 1);
    queue.enqueue(item(501)); // the trim drops item 1, which is in flight
    QVERIFY(finished(loop));

    // Item 2 was never sent, so it must still be there.
    QCOMPARE(server.bodies(), items(1, 2));
    QCOMPARE(fileItems(), items(2, 501));
}

void TestTrackingQueue::unreadableFileStartsEmpty_data()
{
    QTest::addColumn<QByteArray>("content");
    const QByteArray valid = TrackingQueue::encodeItems(items(1, 3));
    QTest::addRow("not JSON") << QByteArray("tracking queue");
    QTest::addRow("truncated") << valid.left(valid.size() - 4);
    QTest::addRow("an object") << QByteArray("{\"items\":[\"eyJuIjoxfQ==\"]}");
    QTest::addRow("a number element") << QByteArray("[\"eyJuIjoxfQ==\",42]");
    QTest::addRow("not Base64") << QByteArray("[\"eyJuIjoxfQ==\",\"not*base64!\"]");
    QTest::addRow("a stray character") << QByteArray("[\"eyJuIjoxfQ==\",\"Q\"]");
    QTest::addRow("not UTF-8") << QByteArray("[\"\xff\xfe\"]");
    QTest::addRow("empty file") << QByteArray();
    QTest::addRow("huge") << QByteArray(qsizetype(33) * 1024 * 1024, ' ') + valid;
}

void TestTrackingQueue::unreadableFileStartsEmpty()
{
    QFETCH(QByteArray, content);
    QVERIFY(test::writeFile(m_file, content));
    test::ScriptedHttpServer server;
    server.setDefaultReply(Reply::withStatus(500));
    TrackingQueue queue(server.url(), QUrl::fromLocalFile(m_file));

    QVERIFY(finished(queue.enqueue(item(7))));
    QCOMPARE(server.bodies(), items(7, 7)); // nothing of the old file is sent
    QCOMPARE(fileItems(), items(7, 7)); // and the file is replaced
}

void TestTrackingQueue::largeValidFileKeepsTheNewest()
{
    writeQueueFile(items(1, 20000));
    test::ScriptedHttpServer server;
    server.setDefaultReply(Reply::withStatus(500));
    TrackingQueue queue(server.url(), QUrl::fromLocalFile(m_file));

    QVERIFY(finished(queue.enqueue(item(20001))));
    QCOMPARE(fileItems(), items(19502, 20001));
}

void TestTrackingQueue::fileSizeLimit_data()
{
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<QList<QByteArray>>("loaded");
    constexpr qsizetype limit = qsizetype(32) * 1024 * 1024;
    QTest::addRow("at the limit") << limit << items(1, 3);
    QTest::addRow("one byte over") << limit + 1 << QList<QByteArray>();
}

void TestTrackingQueue::fileSizeLimit()
{
    QFETCH(qsizetype, size);
    QFETCH(QList<QByteArray>, loaded);
    QByteArray content = TrackingQueue::encodeItems(items(1, 3));
    content.append(QByteArray(size - content.size(), ' ')); // trailing white space is still JSON
    QVERIFY(test::writeFile(m_file, content));
    test::ScriptedHttpServer server;
    server.setDefaultReply(Reply::withStatus(500));
    TrackingQueue queue(server.url(), QUrl::fromLocalFile(m_file));

    QVERIFY(finished(queue.enqueue(item(9))));
    QCOMPARE(fileItems(), loaded + items(9, 9));
}

void TestTrackingQueue::decodeItems_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("decodes");
    QTest::addColumn<QList<QByteArray>>("expected");

    QTest::addRow("compact") << QByteArray("[\"QQ==\",\"Qg==\"]") << true << QList<QByteArray> { "A", "B" };
    QTest::addRow("white space and escapes")
        << QByteArray(" [ \"Q\\u0051==\" ,\n\t\"Qg\\u003d=\" ] ") << true << QList<QByteArray> { "A", "B" };
    QTest::addRow("empty array") << QByteArray("[]") << true << QList<QByteArray>();
    QTest::addRow("empty string is an empty item")
        << QByteArray("[\"\"]") << true << QList<QByteArray> { "" };
    QTest::addRow("null element") << QByteArray("[null]") << false << QList<QByteArray>();
    QTest::addRow("nested array") << QByteArray("[[\"QQ==\"]]") << false << QList<QByteArray>();
    QTest::addRow("URL-safe alphabet") << QByteArray("[\"-_8=\"]") << false << QList<QByteArray>();
    QTest::addRow("a string, not an array") << QByteArray("\"QQ==\"") << false << QList<QByteArray>();
    // Strict reading: nothing is made of a broken or unpadded text.
    QTest::addRow("one character") << QByteArray("[\"QQ==\",\"Q\"]") << false << QList<QByteArray>();
    QTest::addRow("without padding") << QByteArray("[\"QQ\"]") << false << QList<QByteArray>();
    QTest::addRow("too much padding") << QByteArray("[\"QQ===\"]") << false << QList<QByteArray>();
    QTest::addRow("padding inside") << QByteArray("[\"QQ==Qg==\"]") << false << QList<QByteArray>();
    QTest::addRow("line break") << QByteArray("[\"QUJD\\nREVG\"]") << false << QList<QByteArray>();
}

void TestTrackingQueue::decodeItems()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, decodes);
    QFETCH(QList<QByteArray>, expected);
    const auto decoded = TrackingQueue::decodeItems(bytes);
    QCOMPARE(decoded.has_value(), decodes);
    if (decodes)
        QCOMPARE(*decoded, expected);
}

void TestTrackingQueue::withoutFileWorksInMemory()
{
    test::ScriptedHttpServer server;
    server.script({ Reply::withStatus(500) });
    TrackingQueue queue(server.url(), std::nullopt);
    for (int n = 1; n <= 502; ++n)
        queue.enqueue(item(n));
    queue.waitForIdle();
    QVERIFY(finished(queue.flush()));

    // Nothing persisted and nothing trimmed: all 502 items go out after the failure.
    QCOMPARE(server.requestCount(), 1 + 502);
    QCOMPARE(server.bodies().mid(1), items(1, 502));
    QCOMPARE(
        QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

void TestTrackingQueue::queueFileLiesInApplicationSupport()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir(folder).removeRecursively();
    const std::optional<QUrl> url = TrackingQueue::queueFileURL();
    QVERIFY(url);
    QCOMPARE(url->toLocalFile(), folder + QStringLiteral("/tracking-queue.json"));
    QVERIFY(QFileInfo(folder).isDir());
    QDir(folder).removeRecursively();
}

QTEST_GUILESS_MAIN(TestTrackingQueue)
#include "tst_trackingqueue.moc"
