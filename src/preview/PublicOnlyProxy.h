#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>

#include <functional>

class QTcpServer;

namespace veltrin {

// A SOCKS5 proxy on loopback through which the preview's remote content is fetched. It
// resolves every name itself and connects only to a public address it found, so a name that
// leads to this machine or its local network is refused however it is spelt, and a second answer
// from DNS cannot slip in between the check and the connection.
class PublicOnlyProxy final : public QObject {
    Q_OBJECT

public:
    using Addresses = QList<QHostAddress>;
    // Looks a name up and calls back with its addresses (none when it has none), in `context`.
    using Resolver = std::function<void(const QString& name, QObject* context, std::function<void(Addresses)> done)>;

    // What one client may cost.
    struct Limits {
        // Connections at a time; further clients wait in the system's queue until one ends.
        int connections = 64;
        // From the client's connection to the open tunnel.
        int handshakeTimeoutMs = 10000;
        // Silence allowed in an open tunnel.
        int idleTimeoutMs = 30000;
        // Bytes one connection carries each way.
        qint64 bytesPerConnection = qint64(64) * 1024 * 1024;
    };

    // The proxy of the application's previews, listening from the first call on. It is nobody's
    // default proxy: whoever uses it says so.
    static PublicOnlyProxy& shared();

    explicit PublicOnlyProxy(QObject* parent = nullptr);
    ~PublicOnlyProxy() override;
    Q_DISABLE_COPY_MOVE(PublicOnlyProxy)

    // On 127.0.0.1, at a port the system picks.
    bool listen();
    quint16 port() const;

    // The system's resolver unless replaced.
    void setResolver(Resolver resolver);
    // Tests make them small; the defaults suit a page of a few hundred remote images.
    void setLimits(const Limits& limits) { m_limits = limits; }
    const Limits& limits() const { return m_limits; }
    // Which addresses may be reached; by default isPublic.
    void setAddressPolicy(std::function<bool(const QHostAddress&)> allowed);
    // Off this machine and its local network.
    static bool isPublic(const QHostAddress& address);
    // Clients connected now.
    int connectionCount() const { return m_connections; }

Q_SIGNALS:
    // A connection was refused because the host has no address that may be reached.
    void refused(const QString& host);

private:
    void connectionEnded();

    QTcpServer* m_server = nullptr;
    int m_connections = 0;
    Limits m_limits;
    Resolver m_resolver;
    std::function<bool(const QHostAddress&)> m_allowed;

    friend class ProxyConnection;
};

} // namespace veltrin
