#include "SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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
    unlock();
}

SingleInstance::Role SingleInstance::claim(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (true) {
        switch (lock()) {
        case LockResult::taken:
            if (listen())
                return Role::primary;
            unlock();
            return Role::failed;
        case LockResult::failed:
            return Role::failed;
        case LockResult::held:
            break;
        }
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

// The kernel holds the lock for the open file and lets it go when the process ends however it
// ends, so a lock is never stale. The file stays: removing it would let two processes lock two
// different files under one name.
SingleInstance::LockResult SingleInstance::lock()
{
    const QByteArray path = QFile::encodeName(m_lockPath);
    m_lockFd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_lockFd < 0) {
        m_error = tr("Cannot create the lock file %1: %2.").arg(m_lockPath, qt_error_string(errno));
        return LockResult::failed;
    }
    if (::flock(m_lockFd, LOCK_EX | LOCK_NB) == 0)
        return LockResult::taken;
    const int error = errno;
    unlock();
    if (error == EWOULDBLOCK)
        return LockResult::held;
    m_error = tr("Cannot lock the file %1: %2.").arg(m_lockPath, qt_error_string(error));
    return LockResult::failed;
}

void SingleInstance::unlock()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    m_lockFd = -1;
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
