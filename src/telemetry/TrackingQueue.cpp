#include "TrackingQueue.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPromise>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

namespace veltrin {

namespace {

// The queue writes at most 500 envelopes of well under a kilobyte each; a file far beyond that
// did not come from us, and reading it whole would only cost memory.
constexpr qint64 kMaxFileBytes = qint64(32) * 1024 * 1024;

// The desktop's proxy settings, asked afresh for every request. A factory of the queue's own, so
// that whatever the rest of the process makes of the application proxy does not reach it.
class SystemProxyFactory final : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override
    {
        return systemProxyForQuery(query);
    }
};

// Errors Qt gives when the transfer broke off after the status line: the reply did not arrive
// whole, whatever its status said. Every other error next to a status only mirrors the status
// (404 as ContentNotFoundError, 407 as ProxyAuthenticationRequiredError).
bool isBrokenTransfer(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyTimeoutError:
        return true;
    default:
        return false;
    }
}

} // namespace

TrackingQueue::TrackingQueue(
    const QUrl& endpoint, std::optional<QUrl> fileURL, std::chrono::milliseconds timeout)
    : m_endpoint(endpoint)
    , m_fileURL(std::move(fileURL))
    , m_timeout(timeout)
    , m_thread(std::make_unique<QThread>())
{
    m_thread->setObjectName(QStringLiteral("TrackingQueue"));
    moveToThread(m_thread.get());
    m_thread->start();
}

TrackingQueue::~TrackingQueue()
{
    stop();
}

void TrackingQueue::stop()
{
    if (m_stopped.exchange(true))
        return;
    if (m_thread->isRunning()) {
        QThread* owner = QThread::currentThread();
        // Runs after every call posted before it, so each item handed over is saved first.
        QMetaObject::invokeMethod(
            this, [this, owner] { shutDown(owner); }, Qt::BlockingQueuedConnection);
        m_thread->quit();
        m_thread->wait();
    }
}

QFuture<void> TrackingQueue::enqueue(const QByteArray& item)
{
    return post([this, item](const Completion& done) { runEnqueue(item, done); });
}

QFuture<void> TrackingQueue::flush()
{
    return post([this](const Completion& done) { runFlush(done); });
}

void TrackingQueue::waitForIdle()
{
    QMutexLocker locker(&m_callsMutex);
    while (m_openCalls > 0)
        m_callsIdle.wait(&m_callsMutex);
}

QFuture<void> TrackingQueue::post(std::function<void(const Completion&)> work)
{
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> future = promise->future();
    if (m_stopped) {
        promise->finish();
        return future;
    }
    {
        QMutexLocker locker(&m_callsMutex);
        ++m_openCalls;
    }
    QMetaObject::invokeMethod(
        this,
        [this, promise, work = std::move(work)] {
            work([this, promise] {
                promise->finish();
                callFinished();
            });
        },
        Qt::QueuedConnection);
    return future;
}

void TrackingQueue::callFinished()
{
    QMutexLocker locker(&m_callsMutex);
    if (--m_openCalls == 0)
        m_callsIdle.wakeAll();
}

void TrackingQueue::runEnqueue(const QByteArray& item, const Completion& done)
{
    loadIfNeeded();
    m_pending.append(item);
    save(); // on disk before any attempt to send it
    runFlush(done);
}

void TrackingQueue::runFlush(const Completion& done)
{
    loadIfNeeded();
    if (m_isFlushing) {
        done(); // the running loop sends whatever was added, in its turn
        return;
    }
    m_isFlushing = true;
    m_loopDone = done;
    continueFlushing();
}

void TrackingQueue::continueFlushing()
{
    if (m_pending.isEmpty()) {
        finishFlushing();
        return;
    }
    const quint64 serial = m_headSerial;
    send(m_pending.first(), [this, serial](SendResult result) {
        if (result == SendResult::retryLater) {
            finishFlushing(); // the item stays first; the next enqueue or launch tries again
            return;
        }
        // Only the item that was sent leaves the queue: if the trim dropped it while it was in
        // flight, the new head has not been sent yet.
        if (!m_pending.isEmpty() && serial == m_headSerial) {
            m_pending.removeFirst();
            ++m_headSerial;
            save();
        }
        continueFlushing();
    });
}

void TrackingQueue::finishFlushing()
{
    m_isFlushing = false;
    if (const Completion done = std::exchange(m_loopDone, {}))
        done();
}

void TrackingQueue::send(const QByteArray& item, std::function<void(SendResult)> handle)
{
    if (!m_session) {
        m_session = new QNetworkAccessManager(this);
        m_session->setProxyFactory(new SystemProxyFactory); // the manager owns it
    }
    QNetworkRequest request(m_endpoint);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setTransferTimeout(int(m_timeout.count()));
    QNetworkReply* reply = m_session->post(request, item);
    m_inFlight = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply, handle = std::move(handle)] {
        m_inFlight.clear();
        reply->deleteLater();
        handle(classify(*reply));
    });
}

TrackingQueue::SendResult TrackingQueue::classify(const QNetworkReply& reply)
{
    const QNetworkReply::NetworkError error = reply.error();
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return error == QNetworkReply::NoError ? SendResult::sent : SendResult::retryLater;
    if (isBrokenTransfer(error))
        return SendResult::retryLater;
    const int code = status.toInt();
    if (code >= 200 && code <= 299)
        return SendResult::sent;
    if (code >= 400 && code <= 499)
        return SendResult::rejected;
    return SendResult::retryLater;
}

void TrackingQueue::loadIfNeeded()
{
    if (m_loaded)
        return;
    m_loaded = true; // a failed read is not tried again in this process
    if (!m_fileURL)
        return;
    // Missing, oversized, or not a regular file: nothing queued from before.
    const auto bytes = m_files.readFile(*m_fileURL, kMaxFileBytes);
    m_pending = bytes ? decodeItems(*bytes).value_or(QList<QByteArray>()) : QList<QByteArray>();
}

void TrackingQueue::save()
{
    if (!m_fileURL)
        return;
    if (m_pending.size() > maxQueueSize) {
        const qsizetype excess = m_pending.size() - maxQueueSize;
        m_pending.remove(0, excess);
        m_headSerial += quint64(excess);
    }
    // A failed write leaves the previous file whole; the items stay in memory.
    (void)m_files.replaceFile(*m_fileURL, encodeItems(m_pending));
}

void TrackingQueue::shutDown(QThread* owner)
{
    if (QNetworkReply* reply = m_inFlight.data()) {
        // Abandoned, not answered: the item stays first in the file for the next launch.
        reply->disconnect(this);
        reply->abort();
        m_inFlight.clear();
    }
    if (m_isFlushing)
        finishFlushing();
    delete m_session;
    m_session = nullptr;
    moveToThread(owner);
}

std::optional<QUrl> TrackingQueue::queueFileURL()
{
    return queueFileURL(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

std::optional<QUrl> TrackingQueue::queueFileURL(const QString& folder)
{
    if (folder.isEmpty())
        return std::nullopt;
    QDir().mkpath(folder); // a failure shows up, and is absorbed, at the first read or write
    return QUrl::fromLocalFile(QDir(folder).filePath(QStringLiteral("tracking-queue.json")));
}

QByteArray TrackingQueue::encodeItems(const QList<QByteArray>& items)
{
    QJsonArray array;
    for (const QByteArray& item : items)
        array.append(QString::fromLatin1(item.toBase64()));
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<QByteArray>> TrackingQueue::decodeItems(const QByteArray& bytes)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    const QJsonArray array = document.array();
    QList<QByteArray> items;
    items.reserve(array.size());
    for (const auto& value : array) {
        if (!value.isString())
            return std::nullopt;
        // Strict: standard alphabet, padded, nothing left over ("Q" is not an empty item).
        const QByteArray text = value.toString().toUtf8();
        auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || (*decoded).toBase64() != text)
            return std::nullopt;
        items.append(*decoded);
    }
    return items;
}

} // namespace veltrin
