#include "ScriptedHttpServer.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

namespace veltrin::test {

struct ScriptedHttpServer::Connection {
    QPointer<QTcpSocket> socket;
    QByteArray buffer;
};

ScriptedHttpServer::Reply ScriptedHttpServer::Reply::withStatus(int status, std::chrono::milliseconds delay)
{
    return { Kind::status, status, delay, {} };
}

ScriptedHttpServer::Reply ScriptedHttpServer::Reply::dropped()
{
    return { Kind::dropConnection, 0, {}, {} };
}

ScriptedHttpServer::Reply ScriptedHttpServer::Reply::raw(const QByteArray& bytes)
{
    return { Kind::rawBytes, 0, {}, bytes };
}

ScriptedHttpServer::Reply ScriptedHttpServer::Reply::stalled()
{
    return { Kind::stall, 0, {}, {} };
}

ScriptedHttpServer::ScriptedHttpServer(const QHostAddress& address, quint16 port)
    : m_thread(std::make_unique<QThread>())
    , m_address(address)
{
    m_thread->setObjectName(QStringLiteral("ScriptedHttpServer"));
    m_context = new QObject;
    m_context->moveToThread(m_thread.get());
    m_thread->start();
    QMetaObject::invokeMethod(
        m_context,
        [this, port] {
            m_server = new QTcpServer(m_context);
            m_server->setProxy(QNetworkProxy::NoProxy); // whatever the application's proxy is
            QObject::connect(m_server, &QTcpServer::newConnection, m_context, [this] { accept(); });
            if (m_server->listen(m_address, port))
                m_port = m_server->serverPort();
        },
        Qt::BlockingQueuedConnection);
}

ScriptedHttpServer::~ScriptedHttpServer()
{
    QMetaObject::invokeMethod(
        m_context, [this] { delete m_context; }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
}

QUrl ScriptedHttpServer::url() const
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(m_address.toString());
    url.setPort(m_port);
    url.setPath(QStringLiteral("/v1/events"));
    return url;
}

void ScriptedHttpServer::script(const QList<Reply>& replies)
{
    QMutexLocker locker(&m_mutex);
    m_script.append(replies);
}

void ScriptedHttpServer::setDefaultReply(const Reply& reply)
{
    QMutexLocker locker(&m_mutex);
    m_defaultReply = reply;
}

void ScriptedHttpServer::setResponder(Responder responder)
{
    QMutexLocker locker(&m_mutex);
    m_responder = std::move(responder);
}

QList<ScriptedHttpServer::Request> ScriptedHttpServer::requests() const
{
    QMutexLocker locker(&m_mutex);
    return m_requests;
}

QList<QByteArray> ScriptedHttpServer::bodies() const
{
    QMutexLocker locker(&m_mutex);
    QList<QByteArray> bodies;
    for (const Request& request : m_requests)
        bodies.append(request.body);
    return bodies;
}

qsizetype ScriptedHttpServer::requestCount() const
{
    QMutexLocker locker(&m_mutex);
    return m_requests.size();
}

qsizetype ScriptedHttpServer::connectionCount() const
{
    QMutexLocker locker(&m_mutex);
    return m_connections;
}

ScriptedHttpServer::Reply ScriptedHttpServer::nextReply(const Request& request)
{
    Responder responder;
    {
        QMutexLocker locker(&m_mutex);
        if (!m_responder)
            return m_script.isEmpty() ? m_defaultReply : m_script.takeFirst();
        responder = m_responder;
    }
    return responder(request); // outside the lock, so that it may ask the server about itself
}

void ScriptedHttpServer::accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        {
            QMutexLocker locker(&m_mutex);
            ++m_connections;
        }
        auto connection = std::make_shared<Connection>();
        connection->socket = socket;
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, connection] {
            connection->buffer.append(connection->socket->readAll());
            serve(connection);
        });
    }
}

void ScriptedHttpServer::serve(const std::shared_ptr<Connection>& connection)
{
    for (;;) {
        QByteArray& buffer = connection->buffer;
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        Request request;
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.path = requestLine.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(
                    lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length", "0").toLongLong();
        const qsizetype bodyStart = headerEnd + 4;
        if (buffer.size() < bodyStart + length)
            return;
        request.body = buffer.mid(bodyStart, length);
        buffer.remove(0, bodyStart + length);
        {
            QMutexLocker locker(&m_mutex);
            m_requests.append(request);
        }

        const Reply reply = nextReply(request);
        QTcpSocket* socket = connection->socket.data();
        if (!socket)
            return;
        switch (reply.kind) {
        case Reply::Kind::dropConnection:
            socket->abort();
            return;
        case Reply::Kind::rawBytes:
            socket->write(reply.bytes);
            socket->disconnectFromHost();
            return;
        case Reply::Kind::stall:
            return;
        case Reply::Kind::status: {
            const QByteArray response = "HTTP/1.1 " + QByteArray::number(reply.status)
                + " Scripted\r\nContent-Length: 2\r\nContent-Type: text/plain\r\n\r\nok";
            if (reply.delay.count() > 0) {
                QPointer<QTcpSocket> guarded = socket;
                QTimer::singleShot(reply.delay, socket, [guarded, response] {
                    if (guarded)
                        guarded->write(response);
                });
            } else {
                socket->write(response);
            }
            break;
        }
        }
    }
}

} // namespace veltrin::test
