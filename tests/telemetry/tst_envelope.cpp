#include "RecordingPreferences.h"
#include "TestSupport.h"

#include "platform/BundleInfo.h"
#include "platform/DeviceInfo.h"
#include "platform/Preferences.h"
#include "telemetry/BackendTracker.h"
#include "telemetry/DeviceMetadata.h"
#include "telemetry/Envelope.h"
#include "telemetry/TrackingEvent.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace veltrin;

namespace {

const QDateTime kNow(QDate(2026, 12, 10), QTime(9, 45, 3, 870), Qt::UTC);

QJsonObject parse(const QByteArray& bytes)
{
    return QJsonDocument::fromJson(bytes).object();
}

} // namespace

class TestEnvelope : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();

    void payloadEncodesBareValues();
    void envelopeMembers_data();
    void envelopeMembers();
    void unencodableTimeDropsTheEnvelope_data();
    void unencodableTimeDropsTheEnvelope();
    void installIdentity_data();
    void installIdentity();
    void metadataAfterAnUpdate();
    void osVersion_data();
    void osVersion();
    void hardwareModel_data();
    void hardwareModel();
    void eventsEndpoint_data();
    void eventsEndpoint();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::RecordingPreferences> m_preferences;
};

void TestEnvelope::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_preferences = std::make_unique<test::RecordingPreferences>(m_dir->filePath(QStringLiteral("prefs")));
}

void TestEnvelope::payloadEncodesBareValues()
{
    const TrackingPayload payload { { QStringLiteral("session_id"),
                                        TrackingValue::string(QStringLiteral("S")) },
        { QStringLiteral("duration_ms"), TrackingValue::integer(1500) },
        { QStringLiteral("clean_exit"), TrackingValue::boolean(true) },
        { QStringLiteral("delta"), TrackingValue::integer(-9007199254740993) } };
    const QByteArray json
        = QJsonDocument(TrackingEvent::encodePayload(payload)).toJson(QJsonDocument::Compact);
    QCOMPARE(json,
        QByteArray(R"({"clean_exit":true,"delta":-9007199254740993,"duration_ms":1500,"session_id":"S"})"));
    QCOMPARE(
        QJsonDocument(TrackingEvent::encodePayload({})).toJson(QJsonDocument::Compact), QByteArray("{}"));
}

void TestEnvelope::envelopeMembers_data()
{
    QTest::addColumn<std::optional<QString>>("previous");
    QTest::addColumn<int>("memberCount");
    QTest::addRow("first event of a process") << std::optional<QString>() << 14;
    QTest::addRow("with a previous event") << std::optional<QString>(QStringLiteral("install")) << 15;
}

void TestEnvelope::envelopeMembers()
{
    QFETCH(std::optional<QString>, previous);
    QFETCH(int, memberCount);
    const QString productFile = m_dir->filePath(QStringLiteral("product_name"));
    QVERIFY(test::writeFile(productFile, "  Desk Model 7\n"));
    const DeviceInfo device({ QStringLiteral("6.1.0-18-amd64"), productFile });
    const BundleInfo bundle { QStringLiteral("org.veltrin.Veltrin"), QStringLiteral("0.1.0"),
        QStringLiteral("42") };
    const TrackingEvent event { QStringLiteral("app_open"), previous,
        { { QStringLiteral("session_id"), TrackingValue::string(QStringLiteral("S-1")) } }, kNow };

    const DeviceMetadata metadata = DeviceMetadata::current(*m_preferences, bundle, device, kNow);
    const Envelope first = Envelope::make(event, metadata, bundle.identifier);
    const Envelope second = Envelope::make(event, metadata, bundle.identifier);
    const QByteArray bytes = first.encodeData().value();
    QVERIFY(!bytes.contains('\n') && !bytes.contains(": "));
    const QJsonObject json = parse(bytes);

    QCOMPARE(json.size(), memberCount);
    QVERIFY(!json.contains(u"idfa"));
    QCOMPARE(json.contains(u"previous_event"), previous.has_value());
    if (previous)
        QCOMPARE(json.value(u"previous_event").toString(), *previous);
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$"))
                .match(json.value(u"event_id").toString())
                .hasMatch());
    QVERIFY(first.eventID != second.eventID);
    QCOMPARE(json.value(u"app").toString(), QStringLiteral("org.veltrin.Veltrin"));
    QCOMPARE(json.value(u"event").toString(), QStringLiteral("app_open"));
    QCOMPARE(json.value(u"payload").toObject(),
        QJsonObject({ { QStringLiteral("session_id"), QStringLiteral("S-1") } }));
    QCOMPARE(json.value(u"app_version").toString(), QStringLiteral("0.1.0"));
    QCOMPARE(json.value(u"app_build").toString(), QStringLiteral("42"));
    QCOMPARE(json.value(u"os").toString(), QStringLiteral("Linux"));
    QCOMPARE(json.value(u"os_version").toString(), QStringLiteral("6.1.0"));
    QCOMPARE(json.value(u"device").toString(), QStringLiteral("Desk Model 7"));
    QCOMPARE(json.value(u"locale").toString(), QLocale::system().name());
    QCOMPARE(
        json.value(u"idfv").toString(), m_preferences->string(QStringLiteral("tracking.deviceID")).value());
    QCOMPARE(json.value(u"install_timestamp").toString(), QStringLiteral("2026-12-10T09:45:03Z"));
    QCOMPARE(json.value(u"install_version").toString(), QStringLiteral("0.1.0"));
    QCOMPARE(json.value(u"timestamp").toString(), QStringLiteral("2026-12-10T09:45:03Z"));
}

void TestEnvelope::unencodableTimeDropsTheEnvelope_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addRow("invalid") << QDateTime();
    QTest::addRow("year 10000") << QDateTime(QDate(10000, 1, 1), QTime(0, 0), Qt::UTC);
    QTest::addRow("before year 1") << QDateTime(QDate(-5, 1, 1), QTime(0, 0), Qt::UTC);
}

void TestEnvelope::unencodableTimeDropsTheEnvelope()
{
    QFETCH(QDateTime, time);
    const TrackingEvent event { QStringLiteral("install"), std::nullopt, {}, time };
    const DeviceMetadata metadata {};
    QVERIFY(!Envelope::make(event, metadata, QString()).encodeData());
    QCOMPARE(Envelope::iso8601(QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC)),
        QStringLiteral("0001-01-01T00:00:00Z"));
    QCOMPARE(Envelope::iso8601(QDateTime(QDate(2026, 3, 1), QTime(1, 2, 3, 999), Qt::OffsetFromUTC, 3600)),
        QStringLiteral("2026-03-01T00:02:03Z"));
}

void TestEnvelope::installIdentity_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<bool>("rewritten");
    QTest::addColumn<bool>("keepsID");
    QTest::addColumn<bool>("keepsDate");
    QTest::addColumn<bool>("keepsVersion");

    const QVariant id = QStringLiteral("11111111-2222-3333-4444-555555555555");
    const QVariant date = QDateTime(QDate(2025, 1, 2), QTime(3, 4, 5), Qt::UTC);
    const QVariant version = QStringLiteral("0.0.9");
    QTest::addRow("fresh installation") << QVariantMap() << true << false << false << false;
    QTest::addRow("complete: nothing written") << QVariantMap { { QStringLiteral("tracking.deviceID"), id },
        { QStringLiteral("tracking.installDate"), date },
        { QStringLiteral("tracking.installVersion"), version } }
                                               << false << true << true << true;
    QTest::addRow("date missing") << QVariantMap { { QStringLiteral("tracking.deviceID"), id },
        { QStringLiteral("tracking.installVersion"), version } }
                                  << true << true << false << true;
    QTest::addRow("date stored as text") << QVariantMap { { QStringLiteral("tracking.deviceID"), id },
        { QStringLiteral("tracking.installDate"), QStringLiteral("2025-01-02") },
        { QStringLiteral("tracking.installVersion"), version } }
                                         << true << true << false << true;
    QTest::addRow("identifier stored as data")
        << QVariantMap { { QStringLiteral("tracking.deviceID"), QByteArray("id") },
               { QStringLiteral("tracking.installDate"), date },
               { QStringLiteral("tracking.installVersion"), version } }
        << true << false << true << true;
}

void TestEnvelope::installIdentity()
{
    QFETCH(QVariantMap, stored);
    QFETCH(bool, rewritten);
    QFETCH(bool, keepsID);
    QFETCH(bool, keepsDate);
    QFETCH(bool, keepsVersion);
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        m_preferences->set(it.key(), it.value());
    m_preferences->clearLog();

    const auto identity = DeviceMetadata::installIdentity(*m_preferences, QStringLiteral("0.1.0"), kNow);

    QCOMPARE(identity.deviceID == stored.value(QStringLiteral("tracking.deviceID")).toString(), keepsID);
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$"))
                .match(identity.deviceID)
                .hasMatch()
        || keepsID);
    QCOMPARE(identity.installDate,
        keepsDate ? stored.value(QStringLiteral("tracking.installDate")).toDateTime() : kNow);
    QCOMPARE(identity.installVersion, keepsVersion ? QStringLiteral("0.0.9") : QStringLiteral("0.1.0"));

    const SettingsPreferences reopened(m_dir->filePath(QStringLiteral("prefs")));
    QCOMPARE(reopened.string(QStringLiteral("tracking.deviceID")), identity.deviceID);
    QCOMPARE(reopened.date(QStringLiteral("tracking.installDate")), identity.installDate);
    QCOMPARE(reopened.string(QStringLiteral("tracking.installVersion")), identity.installVersion);
    const QStringList all { QStringLiteral("set tracking.deviceID"),
        QStringLiteral("set tracking.installDate"), QStringLiteral("set tracking.installVersion") };
    QCOMPARE(m_preferences->writes(), rewritten ? all : QStringList());
}

void TestEnvelope::metadataAfterAnUpdate()
{
    const DeviceInfo device({ QStringLiteral("6.1.0"), QString() });
    const BundleInfo first { QStringLiteral("org.veltrin.Veltrin"), QStringLiteral("0.1.0"),
        QStringLiteral("1") };
    const BundleInfo updated { QStringLiteral("org.veltrin.Veltrin"), QStringLiteral("0.2.0"),
        QStringLiteral("2") };
    const DeviceMetadata before = DeviceMetadata::current(*m_preferences, first, device, kNow);
    const DeviceMetadata after = DeviceMetadata::current(*m_preferences, updated, device, kNow.addDays(30));

    QCOMPARE(after.appVersion, QStringLiteral("0.2.0"));
    QCOMPARE(after.appBuild, QStringLiteral("2"));
    QCOMPARE(after.installVersion, QStringLiteral("0.1.0"));
    QCOMPARE(after.installTimestamp, kNow);
    QCOMPARE(after.deviceID, before.deviceID);
    QCOMPARE(after.device, QString()); // no product name: the empty text
    const BundleInfo none { QString(), QString(), QString() };
    QCOMPARE(DeviceMetadata::appVersionOf(none), QStringLiteral("0"));
    QCOMPARE(DeviceMetadata::appBuildOf(none), QStringLiteral("0"));
}

void TestEnvelope::osVersion_data()
{
    QTest::addColumn<QString>("release");
    QTest::addColumn<QString>("version");
    QTest::addRow("debian") << QStringLiteral("6.1.0-18-amd64") << QStringLiteral("6.1.0");
    QTest::addRow("no patch") << QStringLiteral("5.10") << QStringLiteral("5.10.0");
    QTest::addRow("major only") << QStringLiteral("7-rc1") << QStringLiteral("7.0.0");
    QTest::addRow("leading zeros") << QStringLiteral("6.01.007+") << QStringLiteral("6.1.7");
    QTest::addRow("garbage") << QStringLiteral("kernel") << QStringLiteral("0.0.0");
    QTest::addRow("overlong number") << QStringLiteral("99999999999999999999.1") << QStringLiteral("0.0.0");
}

void TestEnvelope::osVersion()
{
    QFETCH(QString, release);
    QFETCH(QString, version);
    QCOMPARE(DeviceInfo::versionFromRelease(release), version);
    QVERIFY(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+$"))
                .match(DeviceInfo().osVersion())
                .hasMatch());
}

void TestEnvelope::hardwareModel_data()
{
    QTest::addColumn<std::optional<QByteArray>>("content");
    QTest::addColumn<QString>("model");
    QTest::addRow("trimmed") << std::optional<QByteArray>("\tThinkPad X1 Carbon \n")
                             << QStringLiteral("ThinkPad X1 Carbon");
    QTest::addRow("no file") << std::optional<QByteArray>() << QString();
    QTest::addRow("empty") << std::optional<QByteArray>("") << QString();
    QTest::addRow("stops at NUL") << std::optional<QByteArray>(QByteArray("Model\0junk", 10))
                                  << QStringLiteral("Model");
    QTest::addRow("invalid UTF-8 replaced")
        << std::optional<QByteArray>("Mod\xffl") << QStringLiteral("Mod\uFFFDl");
    QTest::addRow("far too long") << std::optional<QByteArray>(QByteArray(100000, 'x')) << QString();
}

void TestEnvelope::hardwareModel()
{
    QFETCH(std::optional<QByteArray>, content);
    QFETCH(QString, model);
    const QString path = m_dir->filePath(QStringLiteral("product_name"));
    if (content)
        QVERIFY(test::writeFile(path, *content));
    QCOMPARE(DeviceMetadata::hardwareModel(DeviceInfo({ QStringLiteral("6.1.0"), path })), model);
}

void TestEnvelope::eventsEndpoint_data()
{
    QTest::addColumn<std::optional<QString>>("variable");
    QTest::addColumn<QString>("endpoint");
    const QString fallback = QStringLiteral("https://events.veltrin.invalid/v1/events");
    QTest::addRow("not set") << std::optional<QString>() << fallback;
    QTest::addRow("a URL") << std::optional<QString>(QStringLiteral("http://127.0.0.1:8080/collect"))
                           << QStringLiteral("http://127.0.0.1:8080/collect");
    QTest::addRow("empty") << std::optional<QString>(QString()) << fallback;
    QTest::addRow("plain words") << std::optional<QString>(QStringLiteral("not a url")) << fallback;
    // Text that parses is the endpoint, also where nothing can be sent.
    QTest::addRow("relative path") << std::optional<QString>(QStringLiteral("/v1/events"))
                                   << QStringLiteral("/v1/events");
    QTest::addRow("no host") << std::optional<QString>(QStringLiteral("file:///tmp/events"))
                             << QStringLiteral("file:///tmp/events");
    QTest::addRow("host taken for a scheme")
        << std::optional<QString>(QStringLiteral("localhost:8080/v1/events"))
        << QStringLiteral("localhost:8080/v1/events");
    QTest::addRow("bad port") << std::optional<QString>(QStringLiteral("http://127.0.0.1:99999/x"))
                              << fallback;
    QTest::addRow("spaces") << std::optional<QString>(QStringLiteral(" http://127.0.0.1/ x")) << fallback;
}

void TestEnvelope::eventsEndpoint()
{
    QFETCH(std::optional<QString>, variable);
    QFETCH(QString, endpoint);
    QProcessEnvironment environment;
    if (variable)
        environment.insert(QStringLiteral("VELTRIN_EVENTS_ENDPOINT"), *variable);
    QCOMPARE(BackendTracker::eventsEndpoint(environment).toString(), endpoint);
    QCOMPARE(BackendTracker::defaultEventsEndpoint().scheme(), QStringLiteral("https"));
    QCOMPARE(BackendTracker::defaultEventsEndpoint().path(), QStringLiteral("/v1/events"));
}

QTEST_GUILESS_MAIN(TestEnvelope)
#include "tst_envelope.moc"
