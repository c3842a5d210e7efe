#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace veltrin {

// One running process per user: the first launch holds a lock and listens on a local socket,
// a later launch asks it to come forward and leaves. Both live in the user's runtime folder.
class SingleInstance final : public QObject {
    Q_OBJECT

public:
    enum class Role {
        primary, // this process runs the application
        handedOver, // the running one was asked to come forward; this one should exit
        failed, // neither could be done
    };

    // The runtime folder is the platform's (XDG_RUNTIME_DIR) when empty.
    explicit SingleInstance(
        const QString& identifier, const QString& runtimeFolder = {}, QObject* parent = nullptr);
    ~SingleInstance() override;
    Q_DISABLE_COPY_MOVE(SingleInstance)

    // Blocks for at most timeoutMs while a running process is still starting its listener.
    Role claim(int timeoutMs = 10000);

    QString lockPath() const { return m_lockPath; }
    QString socketPath() const { return m_socketPath; }
    // Why claim() failed, for the user.
    QString errorString() const { return m_error; }

Q_SIGNALS:
    // A later launch asked this process to bring its window forward.
    void activationRequested();

private:
    enum class LockResult { taken, held, failed };
    LockResult lock();
    void unlock();
    bool listen();
    bool handOver(int timeoutMs);

    QString m_lockPath;
    QString m_socketPath;
    QString m_error;
    int m_lockFd = -1;
    QLocalServer* m_server = nullptr;
};

} // namespace veltrin
