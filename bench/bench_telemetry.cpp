#include "platform/BundleInfo.h"
#include "platform/DeviceInfo.h"
#include "platform/Preferences.h"
#include "telemetry/DeviceMetadata.h"
#include "telemetry/Envelope.h"
#include "telemetry/TrackingQueue.h"

#include <QCoreApplication>
#include <QSaveFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace veltrin;

namespace {

const TrackingEvent kEvent { QStringLiteral("app_open"), QStringLiteral("install"),
    { { QStringLiteral("session_id"),
        TrackingValue::string(QStringLiteral("C9B98F93-3BA4-42EC-90E8-A7C58DAD90A4")) } },
    QDateTime::currentDateTimeUtc() };

QList<QByteArray> envelopes(int count)
{
    QTemporaryDir dir;
    SettingsPreferences preferences(dir.filePath(QStringLiteral("prefs")));
    const DeviceMetadata metadata = DeviceMetadata::current(
        preferences, BundleInfo::current(), DeviceInfo(), QDateTime::currentDateTimeUtc());
    QList<QByteArray> list;
    for (int n = 0; n < count; ++n)
        list << Envelope::make(kEvent, metadata, QStringLiteral("org.veltrin.Veltrin")).encodeData().value();
    return list;
}

// Per event: device metadata read afresh (three preference reads, uname, the DMI file) and the
// envelope encoded.
void BM_EnvelopeForOneEvent(benchmark::State& state)
{
    QTemporaryDir dir;
    SettingsPreferences preferences(dir.filePath(QStringLiteral("prefs")));
    const BundleInfo bundle = BundleInfo::current();
    const DeviceInfo device;
    DeviceMetadata::installIdentity(preferences, bundle.shortVersion, QDateTime::currentDateTimeUtc());
    for (auto _ : state) {
        const DeviceMetadata metadata
            = DeviceMetadata::current(preferences, bundle, device, QDateTime::currentDateTimeUtc());
        benchmark::DoNotOptimize(Envelope::make(kEvent, metadata, bundle.identifier).encodeData());
    }
}
BENCHMARK(BM_EnvelopeForOneEvent);

void BM_QueueFileEncode(benchmark::State& state)
{
    const QList<QByteArray> items = envelopes(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(TrackingQueue::encodeItems(items));
}
BENCHMARK(BM_QueueFileEncode)->Arg(1)->Arg(500);

void BM_QueueFileDecode(benchmark::State& state)
{
    const QByteArray file = TrackingQueue::encodeItems(envelopes(int(state.range(0))));
    state.counters["file_bytes"] = double(file.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(TrackingQueue::decodeItems(file));
}
BENCHMARK(BM_QueueFileDecode)->Arg(1)->Arg(500);

// One enqueue on a full queue: append, trim, rewrite the 500-item file atomically, one failed
// attempt to send (nothing listens on port 1).
void BM_EnqueueAtCapacity(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tracking-queue.json"));
    const QList<QByteArray> items = envelopes(500);
    {
        QSaveFile file(path);
        (void)file.open(QIODevice::WriteOnly);
        file.write(TrackingQueue::encodeItems(items));
        (void)file.commit();
    }
    TrackingQueue queue(QUrl(QStringLiteral("http://127.0.0.1:1/v1/events")), QUrl::fromLocalFile(path));
    for (auto _ : state) {
        queue.enqueue(items.constFirst());
        queue.waitForIdle();
    }
}
BENCHMARK(BM_EnqueueAtCapacity)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
