#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>

class QObject;
class QThread;
class QTcpServer;

namespace veltrin::test {

// A small HTTP server (on 127.0.0.1 unless told otherwise) with a thread of its own, so a test
// may block while a client talks to it. It answers each request with the next scripted reply, or
// the default one once the script is used up, and keeps every request it received.
class ScriptedHttpServer final {
public:
    struct Reply {
        // stall: the request is read and never answered; the connection stays open until the
        // client gives up on it.
        enum class Kind { status, dropConnection, rawBytes, stall };
        Kind kind = Kind::status;
        int status = 200;
        std::chrono::milliseconds delay { 0 };
        QByteArray bytes; // for rawBytes: written as they are, then the connection is closed

        static Reply withStatus(int status, std::chrono::milliseconds delay = {});
        static Reply dropped();
        static Reply raw(const QByteArray& bytes);
        static Reply stalled();
    };

    struct Request {
        QByteArray method;
        QByteArray path;
        QMap<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };
    // Picks the reply to each request on the server's thread, in place of the script.
    using Responder = std::function<Reply(const Request&)>;

    explicit ScriptedHttpServer(
        const QHostAddress& address = QHostAddress(QHostAddress::LocalHost), quint16 port = 0);
    ~ScriptedHttpServer();
    Q_DISABLE_COPY_MOVE(ScriptedHttpServer)

    // http://<address>:<port>/v1/events
    QUrl url() const;
    // Whether it listens: an address not on this machine can't be listened on.
    bool isListening() const { return m_port != 0; }
    void script(const QList<Reply>& replies);
    void setDefaultReply(const Reply& reply);
    void setResponder(Responder responder);

    QList<Request> requests() const;
    QList<QByteArray> bodies() const;
    qsizetype requestCount() const;
    // Connections accepted, whether or not a request came over them.
    qsizetype connectionCount() const;

private:
    struct Connection;
    void accept();
    void serve(const std::shared_ptr<Connection>& connection);
    Reply nextReply(const Request& request);

    std::unique_ptr<QThread> m_thread;
    QObject* m_context = nullptr; // lives on m_thread, parent of the listening server
    QTcpServer* m_server = nullptr;
    QHostAddress m_address;
    quint16 m_port = 0;
    qsizetype m_connections = 0;

    mutable QMutex m_mutex;
    QList<Reply> m_script;
    Reply m_defaultReply;
    Responder m_responder;
    QList<Request> m_requests;
};

} // namespace veltrin::test
