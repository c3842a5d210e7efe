#include "preview/PublicOnlyProxy.h"

#include "preview/PreviewRequestInterceptor.h"

#include <QCoreApplication>
#include <QHostInfo>
#include <QNetworkProxy>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <initializer_list>
#include <optional>

namespace veltrin {

namespace {

// The protocol's numbers (RFC 1928).
constexpr char version = 0x05;
constexpr char noAuthentication = 0x00;
constexpr char noAcceptableMethod = char(0xFF);
constexpr char connectCommand = 0x01;
constexpr char ipv4Type = 0x01;
constexpr char nameType = 0x03;
constexpr char ipv6Type = 0x04;
enum class Reply : char {
    succeeded = 0x00,
    generalFailure = 0x01,
    notAllowed = 0x02,
    hostUnreachable = 0x04,
    connectionRefused = 0x05,
    commandNotSupported = 0x07,
    addressTypeNotSupported = 0x08,
};

// A greeting is at most 257 bytes and a request at most 262; a client that sends more before the
// tunnel is open is not speaking the protocol.
constexpr qsizetype handshakeLimit = 600;

QByteArray bytes(std::initializer_list<char> values)
{
    return QByteArray(values.begin(), qsizetype(values.size()));
}

// The answer to a request; the address the proxy bound is nobody's business, all zeros.
QByteArray answerBytes(Reply reply)
{
    return bytes({ version, char(reply), 0x00, ipv4Type, 0, 0, 0, 0, 0, 0 });
}

struct Target {
    QString host; // a name, or an address as text
    std::optional<QHostAddress> address;
    quint16 port = 0;
};

} // namespace

// One client's connection: the greeting, its request, the lookup, then bytes both ways.
class ProxyConnection final : public QObject {
public:
    ProxyConnection(PublicOnlyProxy& proxy, QTcpSocket* client)
        : QObject(&proxy)
        , m_proxy(proxy)
        , m_client(client)
    {
        client->setParent(this);
        connect(client, &QTcpSocket::readyRead, this, &ProxyConnection::clientReadable);
        connect(client, &QTcpSocket::disconnected, this, &ProxyConnection::clientGone);
        m_deadline.setSingleShot(true);
        connect(&m_deadline, &QTimer::timeout, this, &ProxyConnection::close);
        m_deadline.start(m_proxy.m_limits.handshakeTimeoutMs);
    }
    ~ProxyConnection() override { m_proxy.connectionEnded(); }

private:
    enum class State { greeting, request, connecting, relaying, closing };

    void clientReadable()
    {
        if (m_state == State::relaying) {
            relay(m_client, m_upstream, m_sent);
            return;
        }
        if (m_state != State::greeting && m_state != State::request) {
            // Nothing may come before the answer to the request.
            close();
            return;
        }
        m_buffer += m_client->readAll();
        if (m_buffer.size() > handshakeLimit) {
            close();
            return;
        }
        if (m_state == State::greeting)
            readGreeting();
        if (m_state == State::request)
            readRequest();
    }

    void readGreeting()
    {
        if (m_buffer.size() < 2)
            return;
        if (m_buffer[0] != version) {
            close();
            return;
        }
        const qsizetype length = 2 + quint8(m_buffer[1]);
        if (m_buffer.size() < length)
            return;
        const bool plain = m_buffer.mid(2, length - 2).contains(noAuthentication);
        m_buffer.remove(0, length);
        m_client->write(bytes({ version, plain ? noAuthentication : noAcceptableMethod }));
        if (!plain) {
            close();
            return;
        }
        m_state = State::request;
    }

    void readRequest()
    {
        if (m_buffer.size() < 5)
            return;
        if (m_buffer[0] != version) {
            close();
            return;
        }
        qsizetype length = 0;
        switch (m_buffer[3]) {
        case ipv4Type:
            length = 4 + 4 + 2;
            break;
        case ipv6Type:
            length = 4 + 16 + 2;
            break;
        case nameType:
            length = 4 + 1 + quint8(m_buffer[4]) + 2;
            break;
        default:
            answer(Reply::addressTypeNotSupported);
            return;
        }
        if (m_buffer.size() < length)
            return;
        if (m_buffer[1] != connectCommand) {
            answer(Reply::commandNotSupported);
            return;
        }
        Target target;
        const auto* data = reinterpret_cast<const uchar*>(m_buffer.constData());
        if (m_buffer[3] == ipv4Type) {
            target.address = QHostAddress(quint32(data[4]) << 24 | quint32(data[5]) << 16
                | quint32(data[6]) << 8 | quint32(data[7]));
        } else if (m_buffer[3] == ipv6Type) {
            target.address = QHostAddress(data + 4);
        } else {
            target.host = QString::fromLatin1(m_buffer.mid(5, quint8(m_buffer[4])));
            if (QHostAddress literal; literal.setAddress(target.host))
                target.address = literal;
        }
        if (target.address)
            target.host = target.address->toString();
        target.port = quint16(data[length - 2] << 8 | data[length - 1]);
        m_buffer.clear();
        m_state = State::connecting;
        m_target = target;
        if (target.address) {
            connectTo({ *target.address });
            return;
        }
        m_proxy.m_resolver(target.host, this, [this](const PublicOnlyProxy::Addresses& addresses) {
            connectTo(addresses);
        });
    }

    void connectTo(const PublicOnlyProxy::Addresses& addresses)
    {
        if (m_state != State::connecting)
            return;
        if (addresses.isEmpty()) {
            answer(Reply::hostUnreachable);
            return;
        }
        // Only an address checked here is connected to, never the name again.
        const auto allowed = std::find_if(addresses.cbegin(), addresses.cend(), m_proxy.m_allowed);
        if (allowed == addresses.cend()) {
            Q_EMIT m_proxy.refused(m_target.host);
            answer(Reply::notAllowed);
            return;
        }
        m_upstream = new QTcpSocket(this);
        // The application's proxy may be anything, this proxy included: connect straight.
        m_upstream->setProxy(QNetworkProxy::NoProxy);
        connect(m_upstream, &QTcpSocket::connected, this, &ProxyConnection::upstreamConnected);
        connect(m_upstream, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
            if (m_state == State::connecting)
                answer(error == QAbstractSocket::ConnectionRefusedError ? Reply::connectionRefused
                                                                         : Reply::hostUnreachable);
            else if (m_state == State::relaying && error != QAbstractSocket::RemoteHostClosedError)
                close();
        });
        connect(m_upstream, &QTcpSocket::readyRead, this, [this] {
            if (m_state == State::relaying)
                relay(m_upstream, m_client, m_received);
        });
        connect(m_upstream, &QTcpSocket::disconnected, this, &ProxyConnection::upstreamGone);
        m_upstream->connectToHost(*allowed, m_target.port);
    }

    void upstreamConnected()
    {
        m_client->write(answerBytes(Reply::succeeded));
        m_state = State::relaying;
        m_deadline.start(m_proxy.m_limits.idleTimeoutMs);
        if (m_upstream->bytesAvailable() > 0)
            relay(m_upstream, m_client, m_received);
    }

    // Passes on what arrived; a connection that carries more than its share, or stays silent for
    // too long, ends.
    void relay(QTcpSocket* from, QTcpSocket* to, qint64& count)
    {
        const QByteArray data = from->readAll();
        count += data.size();
        if (count > m_proxy.m_limits.bytesPerConnection) {
            close();
            return;
        }
        to->write(data);
        m_deadline.start(m_proxy.m_limits.idleTimeoutMs);
    }

    // Answers the request with a failure and ends the connection.
    void answer(Reply reply)
    {
        m_client->write(answerBytes(reply));
        close();
    }

    void clientGone()
    {
        if (m_upstream && m_upstream->state() != QAbstractSocket::UnconnectedState)
            m_upstream->disconnectFromHost();
        finish();
    }

    void upstreamGone()
    {
        if (m_state == State::relaying && m_upstream->bytesAvailable() > 0)
            relay(m_upstream, m_client, m_received);
        if (m_state == State::closing)
            return;
        // Whatever is still queued for the client goes out before its side closes.
        m_client->disconnectFromHost();
        finish();
    }

    void close()
    {
        if (m_upstream)
            m_upstream->abort();
        m_client->disconnectFromHost();
        finish();
    }

    void finish()
    {
        m_state = State::closing;
        m_deadline.stop();
        const bool clientDone = m_client->state() == QAbstractSocket::UnconnectedState;
        const bool upstreamDone = !m_upstream || m_upstream->state() == QAbstractSocket::UnconnectedState;
        if (clientDone && upstreamDone)
            deleteLater();
        else if (!clientDone)
            connect(m_client, &QTcpSocket::disconnected, this, &QObject::deleteLater, Qt::UniqueConnection);
        else
            connect(m_upstream, &QTcpSocket::disconnected, this, &QObject::deleteLater, Qt::UniqueConnection);
    }

    PublicOnlyProxy& m_proxy;
    QTcpSocket* m_client;
    QTcpSocket* m_upstream = nullptr;
    QByteArray m_buffer;
    State m_state = State::greeting;
    Target m_target;
    // The handshake's, then the silence allowed while relaying.
    QTimer m_deadline;
    qint64 m_sent = 0;
    qint64 m_received = 0;
};

PublicOnlyProxy& PublicOnlyProxy::shared()
{
    static PublicOnlyProxy* proxy = [] {
        // Goes with the application, while its event loop and sockets still exist.
        auto* made = new PublicOnlyProxy(QCoreApplication::instance());
        if (!made->listen())
            qWarning("The preview's proxy could not listen; remote content will not load.");
        return made;
    }();
    return *proxy;
}

PublicOnlyProxy::PublicOnlyProxy(QObject* parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
    , m_resolver([](const QString& name, QObject* context, std::function<void(Addresses)> done) {
        QHostInfo::lookupHost(name, context,
            [done = std::move(done)](const QHostInfo& info) { done(info.addresses()); });
    })
    , m_allowed(&PublicOnlyProxy::isPublic)
{
    m_server->setProxy(QNetworkProxy::NoProxy);
    connect(m_server, &QTcpServer::newConnection, this, [this] {
        // Only loopback reaches the server; whoever connects, the preview's fetcher or another
        // local program, gets the same rules.
        while (QTcpSocket* client = m_server->nextPendingConnection()) {
            ++m_connections;
            new ProxyConnection(*this, client);
        }
        // Further clients wait in the system's queue until a connection ends.
        if (m_connections >= m_limits.connections)
            m_server->pauseAccepting();
    });
}

void PublicOnlyProxy::connectionEnded()
{
    --m_connections;
    if (m_server && m_connections < m_limits.connections)
        m_server->resumeAccepting();
}

PublicOnlyProxy::~PublicOnlyProxy()
{
    // The connections tell this proxy when they end: they go while it still is one.
    delete m_server;
    m_server = nullptr;
    const QObjectList connections = children();
    qDeleteAll(connections);
}

bool PublicOnlyProxy::listen()
{
    return m_server->isListening() || m_server->listen(QHostAddress::LocalHost);
}

quint16 PublicOnlyProxy::port() const
{
    return m_server->serverPort();
}

void PublicOnlyProxy::setResolver(Resolver resolver)
{
    m_resolver = std::move(resolver);
}

bool PublicOnlyProxy::isPublic(const QHostAddress& address)
{
    return !PreviewRequestInterceptor::isLocalAddress(address);
}

void PublicOnlyProxy::setAddressPolicy(std::function<bool(const QHostAddress&)> allowed)
{
    m_allowed = std::move(allowed);
}

} // namespace veltrin
