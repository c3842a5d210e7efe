#include "preview/PublicOnlyProxy.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <initializer_list>

using namespace veltrin;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(char(value));
    return result;
}

QByteArray portBytes(quint16 port)
{
    return bytes({ port >> 8, port & 0xFF });
}

// A CONNECT request for a name.
QByteArray connectToName(const QByteArray& name, quint16 port)
{
    return bytes({ 5, 1, 0, 3, int(name.size()) }) + name + portBytes(port);
}

QByteArray connectToAddress(const QHostAddress& address, quint16 port)
{
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        const quint32 ip = address.toIPv4Address();
        return bytes({ 5, 1, 0, 1, int(ip >> 24), int(ip >> 16 & 0xFF), int(ip >> 8 & 0xFF), int(ip & 0xFF) })
            + portBytes(port);
    }
    const Q_IPV6ADDR ip = address.toIPv6Address();
    return bytes({ 5, 1, 0, 4 }) + QByteArray(reinterpret_cast<const char*>(ip.c), 16) + portBytes(port);
}

// A client of the proxy that speaks the protocol byte by byte.
struct Client {
    explicit Client(quint16 port) { socket.connectToHost(QHostAddress::LocalHost, port); }

    // Sends and waits for `length` bytes of answer, or for the proxy to close the connection.
    QByteArray exchange(const QByteArray& request, qsizetype length)
    {
        socket.write(request);
        (void)QTest::qWaitFor([&] {
            return socket.bytesAvailable() >= length || socket.state() == QAbstractSocket::UnconnectedState;
        }, 10000);
        return socket.read(length);
    }
    bool closedByProxy()
    {
        return QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 10000);
    }

    QTcpSocket socket;
};

const QByteArray greeting = bytes({ 5, 1, 0 });
const QByteArray greeted = bytes({ 5, 0 });

char replyCode(const QByteArray& answer)
{
    return answer.size() >= 2 ? answer[1] : char(-1);
}

} // namespace

class TestPublicOnlyProxy final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void refusesThisMachineAndItsNetwork_data();
    void refusesThisMachineAndItsNetwork();
    void tunnelsToAnAllowedAddress();
    void nameWithoutAddressesIsUnreachable();
    void protocolErrorsEndTheConnection_data();
    void protocolErrorsEndTheConnection();
    void limitsEndTheConnection_data();
    void limitsEndTheConnection();
    void connectionsBeyondTheLimitWait();

private:
    std::unique_ptr<QTcpServer> m_target;
    std::unique_ptr<PublicOnlyProxy> m_proxy;
    QMap<QString, PublicOnlyProxy::Addresses> m_names;
};

void TestPublicOnlyProxy::init()
{
    // The place a refused request would have reached: a server on this machine.
    m_target = std::make_unique<QTcpServer>();
    QVERIFY(m_target->listen(QHostAddress::LocalHost));
    m_proxy = std::make_unique<PublicOnlyProxy>();
    QVERIFY(m_proxy->listen());
    m_names.clear();
    m_proxy->setResolver([this](const QString& name, QObject* context, auto done) {
        // Answers later, as a real lookup does.
        QMetaObject::invokeMethod(context, [done, addresses = m_names.value(name)] { done(addresses); },
            Qt::QueuedConnection);
    });
}

void TestPublicOnlyProxy::cleanup()
{
    m_proxy.reset();
    m_target.reset();
}

void TestPublicOnlyProxy::refusesThisMachineAndItsNetwork_data()
{
    QTest::addColumn<QString>("name"); // empty: the request carries the address itself
    QTest::addColumn<QString>("address");
    // Names as the engine sends them: they pass any check on the name, and resolve here.
    QTest::addRow("public-looking name for loopback") << "rebound.example" << "127.0.0.1";
    QTest::addRow("name for a private address") << "printer.example" << "192.168.1.20";
    QTest::addRow("name for IPv6 loopback") << "six.example" << "::1";
    QTest::addRow("name for IPv4-mapped loopback") << "mapped.example" << "::ffff:127.0.0.1";
    QTest::addRow("name for link-local") << "metadata.example" << "169.254.169.254";
    QTest::addRow("IPv4 loopback address") << QString() << "127.0.0.1";
    QTest::addRow("IPv6 loopback address") << QString() << "::1";
    QTest::addRow("loopback written as a name") << "127.0.0.1" << QString();
}

void TestPublicOnlyProxy::refusesThisMachineAndItsNetwork()
{
    QFETCH(QString, name);
    QFETCH(QString, address);
    if (!name.isEmpty() && !address.isEmpty())
        m_names.insert(name, { QHostAddress(address) });
    QSignalSpy refused(m_proxy.get(), &PublicOnlyProxy::refused);

    Client client(m_proxy->port());
    QCOMPARE(client.exchange(greeting, 2), greeted);
    const QByteArray request = name.isEmpty() ? connectToAddress(QHostAddress(address), m_target->serverPort())
                                              : connectToName(name.toLatin1(), m_target->serverPort());
    QCOMPARE(replyCode(client.exchange(request, 10)), char(0x02));
    QVERIFY(client.closedByProxy());
    QCOMPARE(refused.size(), 1);
    QCOMPARE(refused.first().first().toString(), name.isEmpty() ? QHostAddress(address).toString() : name);
    QVERIFY(!m_target->hasPendingConnections());
}

void TestPublicOnlyProxy::tunnelsToAnAllowedAddress()
{
    // Loopback stands in for a public server here.
    m_proxy->setAddressPolicy([](const QHostAddress& address) { return address.isLoopback(); });
    m_names.insert(QStringLiteral("images.example"), { QHostAddress(QStringLiteral("192.168.1.20")),
                                                         QHostAddress(QHostAddress::LocalHost) });

    Client client(m_proxy->port());
    QCOMPARE(client.exchange(greeting, 2), greeted);
    QCOMPARE(client.exchange(connectToName("images.example", m_target->serverPort()), 10),
        bytes({ 5, 0, 0, 1, 0, 0, 0, 0, 0, 0 }));
    QTRY_VERIFY(m_target->hasPendingConnections());
    std::unique_ptr<QTcpSocket> server(m_target->nextPendingConnection());

    client.socket.write("GET / HTTP/1.1\r\n\r\n");
    QByteArray received;
    const auto receive = [&] { return received += server->readAll(); };
    QTRY_COMPARE(receive(), QByteArray("GET / HTTP/1.1\r\n\r\n"));
    server->write("HTTP/1.1 200 OK\r\n\r\nimage");
    server->disconnectFromHost();
    QVERIFY(client.closedByProxy());
    QCOMPARE(client.socket.readAll(), QByteArray("HTTP/1.1 200 OK\r\n\r\nimage"));
}

void TestPublicOnlyProxy::nameWithoutAddressesIsUnreachable()
{
    QSignalSpy refused(m_proxy.get(), &PublicOnlyProxy::refused);
    Client client(m_proxy->port());
    QCOMPARE(client.exchange(greeting, 2), greeted);
    QCOMPARE(replyCode(client.exchange(connectToName("nowhere.invalid", 443), 10)), char(0x04));
    QVERIFY(client.closedByProxy());
    QCOMPARE(refused.size(), 0);
}

void TestPublicOnlyProxy::protocolErrorsEndTheConnection_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("answer");
    QTest::addRow("SOCKS4") << bytes({ 4, 1, 0, 80, 127, 0, 0, 1, 0 }) << QByteArray();
    QTest::addRow("password only") << bytes({ 5, 1, 2 }) << bytes({ 5, 0xFF });
    QTest::addRow("bind") << greeting + bytes({ 5, 2, 0, 1, 127, 0, 0, 1, 0, 80 })
                          << greeted + bytes({ 5, 7, 0, 1, 0, 0, 0, 0, 0, 0 });
    QTest::addRow("unknown address type") << greeting + bytes({ 5, 1, 0, 9, 0, 0 })
                                          << greeted + bytes({ 5, 8, 0, 1, 0, 0, 0, 0, 0, 0 });
}

void TestPublicOnlyProxy::protocolErrorsEndTheConnection()
{
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, answer);
    Client client(m_proxy->port());
    client.socket.write(sent);
    QVERIFY(client.closedByProxy());
    QCOMPARE(client.socket.readAll(), answer);
    QVERIFY(!m_target->hasPendingConnections());
}

void TestPublicOnlyProxy::limitsEndTheConnection_data()
{
    QTest::addColumn<bool>("tunnel"); // open the tunnel before going quiet or sending
    QTest::addColumn<QByteArray>("sent"); // through the open tunnel
    QTest::addRow("client that never speaks") << false << QByteArray();
    QTest::addRow("tunnel that stays silent") << true << QByteArray();
    QTest::addRow("tunnel that carries too much") << true << QByteArray(5000, 'x');
}

// A client can hold a connection only so long, and push only so much through it.
void TestPublicOnlyProxy::limitsEndTheConnection()
{
    QFETCH(bool, tunnel);
    QFETCH(QByteArray, sent);
    m_proxy->setLimits({ .connections = 4, .handshakeTimeoutMs = 300, .idleTimeoutMs = 300, .bytesPerConnection = 4000 });
    m_proxy->setAddressPolicy([](const QHostAddress& address) { return address.isLoopback(); });

    Client client(m_proxy->port());
    std::unique_ptr<QTcpSocket> server;
    if (tunnel) {
        QCOMPARE(client.exchange(greeting, 2), greeted);
        QCOMPARE(replyCode(client.exchange(connectToAddress(QHostAddress(QHostAddress::LocalHost), m_target->serverPort()), 10)),
            char(0x00));
        QTRY_VERIFY(m_target->hasPendingConnections());
        server.reset(m_target->nextPendingConnection());
    }
    client.socket.write(sent);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(client.closedByProxy());
    if (sent.isEmpty())
        QVERIFY2(clock.elapsed() >= 250, qPrintable(QString::number(clock.elapsed())));
    if (server) {
        QTRY_COMPARE(server->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(server->readAll().size() <= 4000);
    }
    QTRY_COMPARE(m_proxy->connectionCount(), 0);
}

// Clients beyond the limit are answered once a connection ends, not refused.
void TestPublicOnlyProxy::connectionsBeyondTheLimitWait()
{
    m_proxy->setLimits({ .connections = 2 });
    Client first(m_proxy->port());
    QCOMPARE(first.exchange(greeting, 2), greeted);
    Client second(m_proxy->port());
    QCOMPARE(second.exchange(greeting, 2), greeted);
    Client third(m_proxy->port());
    third.socket.write(greeting);
    QTest::qWait(300);
    QCOMPARE(third.socket.bytesAvailable(), 0);
    QCOMPARE(m_proxy->connectionCount(), 2);
    first.socket.disconnectFromHost();
    QTRY_VERIFY(third.socket.bytesAvailable() >= 2);
    QCOMPARE(third.socket.read(2), greeted);
}

QTEST_GUILESS_MAIN(TestPublicOnlyProxy)
#include "tst_publiconlyproxy.moc"
