#include "SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace veltrin {

namespace {

const QByteArray kActivate = QByteArrayLiteral("activate\n");
const QByteArray kAcknowledged = QByteArrayLiteral("ok\n");

} // namespace

SingleInstance::SingleInstance(const QString& identifier, const QString& runtimeFolder, QObject* parent)
    : QObject(parent)
{
    QString folder = runtimeFolder;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QDir dir(folder);
    m_lockPath = dir.filePath(identifier + QStringLiteral(".lock"));
    m_socketPath = dir.filePath(identifier + QStringLiteral(".socket"));
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
}

SingleInstance::Role SingleInstance::claim(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (true) {
        m_lock = std::make_unique<QLockFile>(m_lockPath);
        // A lock is stale only when its process has died, never by age.
        m_lock->setStaleLockTime(0);
        if (m_lock->tryLock(0)) {
            if (listen())
                return Role::primary;
            m_lock.reset();
            return Role::failed;
        }
        if (m_lock->error() != QLockFile::LockFailedError) {
            m_error = tr("Cannot create the lock file %1.").arg(m_lockPath);
            m_lock.reset();
            return Role::failed;
        }
        m_lock.reset();
        if (handOver(int(std::max<qint64>(0, deadline.remainingTime()))))
            return Role::handedOver;
        if (deadline.hasExpired()) {
            m_error = tr("Veltrin is already running but does not answer.");
            return Role::failed;
        }
        // The holder may be between taking the lock and listening, or may just have quit.
        QThread::msleep(50);
    }
}

bool SingleInstance::listen()
{
    // Holding the lock, a socket file left here belongs to a process that is gone.
    QLocalServer::removeServer(m_socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_socketPath)) {
        m_error = m_server->errorString();
        delete m_server;
        m_server = nullptr;
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine())
                    return;
                if (socket->readLine() == kActivate) {
                    socket->write(kAcknowledged);
                    socket->flush();
                    Q_EMIT activationRequested();
                }
                socket->disconnectFromServer();
            });
        }
    });
    return true;
}

bool SingleInstance::handOver(int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(std::min(timeoutMs, 1000)))
        return false;
    socket.write(kActivate);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    }
    return socket.readLine() == kAcknowledged;
}

} // namespace veltrin
