#pragma once

#include "platform/NoFollowFileOperations.h"

#include <QByteArray>
#include <QFuture>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QWaitCondition>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QThread;

namespace veltrin {

// The persistent outbox of usage envelopes: "tracking-queue.json" in the Application Support
// folder, posted one item per request, oldest first, to one endpoint.
//
// An actor: the object lives on a thread of its own, with its own network access manager, and
// all its state is touched only there, one call at a time. enqueue() and flush() may be called
// from any thread; they post the call and return a future that finishes with the call. Failures
// are absorbed, never reported. Requests take the desktop's proxy settings, never the
// application proxy.
class TrackingQueue final : public QObject {
    Q_OBJECT

public:
    enum class SendResult { sent, rejected, retryLater };

    static constexpr qsizetype maxQueueSize = 500;
    static constexpr std::chrono::milliseconds defaultTimeout { 60000 };

    // fileURL absent: the queue lives in memory only.
    explicit TrackingQueue(const QUrl& endpoint, std::optional<QUrl> fileURL = queueFileURL(),
        std::chrono::milliseconds timeout = defaultTimeout);
    // Waits for the call in progress (an unanswered request is abandoned, its item kept) and
    // stops the thread. The file holds every item that was not delivered.
    ~TrackingQueue() override;
    Q_DISABLE_COPY_MOVE(TrackingQueue)

    // Appends the item, saves, then flushes; finishes when that flush finishes (at once when a
    // delivery loop is already running, which then sends the item in its turn).
    QFuture<void> enqueue(const QByteArray& item);
    // Delivers queued items until the queue is empty or a delivery must wait for a later try.
    QFuture<void> flush();

    // Blocks until every call posted so far has finished. Not for the queue's own thread.
    void waitForIdle();
    // Lets the calls posted so far run, abandons an unanswered request (its item stays in the
    // file) and ends the thread; later calls finish at once without doing anything. For the end
    // of the process, before the application object goes; the destructor does the same.
    void stop();

    QUrl endpoint() const { return m_endpoint; }
    std::optional<QUrl> fileURL() const { return m_fileURL; }

    // "tracking-queue.json" in the Application Support folder, which is created here; absent
    // when the platform names no such folder.
    static std::optional<QUrl> queueFileURL();
    // The queue file in the given folder, which is created here; absent for an empty name.
    static std::optional<QUrl> queueFileURL(const QString& folder);
    // The queue file's form of the items: a compact JSON array of Base64 strings.
    static QByteArray encodeItems(const QList<QByteArray>& items);
    // Absent unless the bytes are a JSON array of strings that are all valid Base64.
    static std::optional<QList<QByteArray>> decodeItems(const QByteArray& bytes);
    // By the HTTP status, unless the transfer broke off after it: 2xx sent, 4xx rejected, any
    // other retryLater. Without a status: sent when the reply finished without error.
    static SendResult classify(const QNetworkReply& reply);

private:
    using Completion = std::function<void()>;

    // All of these run on the queue's own thread.
    void runEnqueue(const QByteArray& item, const Completion& done);
    void runFlush(const Completion& done);
    void continueFlushing();
    void finishFlushing();
    void send(const QByteArray& item, std::function<void(SendResult)> handle);
    void loadIfNeeded();
    void save();
    void shutDown(QThread* owner);

    // Posts work to the queue's thread, counted until it calls its completion.
    QFuture<void> post(std::function<void(const Completion&)> work);
    void callFinished();

    const QUrl m_endpoint;
    const std::optional<QUrl> m_fileURL;
    NoFollowFileOperations m_files;
    const std::chrono::milliseconds m_timeout;
    std::unique_ptr<QThread> m_thread;

    QNetworkAccessManager* m_session = nullptr;
    QList<QByteArray> m_pending;
    // Counts removals from the front of m_pending, so that the item in flight is known to be
    // still at the head (and not trimmed away meanwhile) when its reply comes.
    quint64 m_headSerial = 0;
    bool m_loaded = false;
    bool m_isFlushing = false;
    Completion m_loopDone; // the call that started the running delivery loop
    QPointer<QNetworkReply> m_inFlight;

    std::atomic<bool> m_stopped = false;
    QMutex m_callsMutex;
    QWaitCondition m_callsIdle;
    int m_openCalls = 0;
};

} // namespace veltrin
