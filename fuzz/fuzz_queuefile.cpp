#include "telemetry/TrackingQueue.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <QUrl>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// Kept to the end of the process: Qt's own globals are gone by the time statics are destroyed.
QCoreApplication* application = nullptr;
QTemporaryDir* folder = nullptr;

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<no file>");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    application = new QCoreApplication(*argc, *argv);
    folder = new QTemporaryDir;
    static const std::string path = folder->path().toStdString();
    std::atexit([] { std::filesystem::remove_all(path); });
    return 0;
}

// Decodes the bytes directly, then lets a queue load them from its file, take one more item
// and save: what it writes must parse back to the old items plus the new one, trimmed to the cap.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using veltrin::TrackingQueue;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    const auto decoded = TrackingQueue::decodeItems(bytes);
    if (decoded && TrackingQueue::decodeItems(TrackingQueue::encodeItems(*decoded)) != decoded)
        __builtin_trap();

    // A queue on its own thread costs a thousand decodes: it gets every file that decodes and a
    // fixed share of the others, chosen by content so that a finding replays.
    if (!decoded && qHash(bytes) % 16 != 0)
        return 0;

    const QString path = folder->filePath(QStringLiteral("tracking-queue.json"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(bytes);
    }
    const QByteArray item("{\"event\":\"fuzz\"}");
    {
        // A scheme no client speaks: the send fails at once, without a network, and the items stay.
        TrackingQueue queue(QUrl(QStringLiteral("unsupported:queue")), QUrl::fromLocalFile(path));
        queue.enqueue(item).waitForFinished();
    }

    QList<QByteArray> expected = decoded.value_or(QList<QByteArray>());
    expected.append(item);
    if (expected.size() > TrackingQueue::maxQueueSize)
        expected = expected.last(TrackingQueue::maxQueueSize);
    // Exactly what the encoder writes (compact, standard Base64), and it parses back.
    const QByteArray saved = readAll(path);
    if (saved != TrackingQueue::encodeItems(expected) || TrackingQueue::decodeItems(saved) != expected)
        __builtin_trap();
    return 0;
}
