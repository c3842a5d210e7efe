#include "platform/LocalErrorReporting.h"
#include "telemetry/SentryTracker.h"

#include <QTest>

using namespace veltrin;

namespace {

const QString kDsn = QStringLiteral("https://0123456789abcdef0123456789abcdef@errors.veltrin.invalid/42");

TrackingEvent makeEvent(const QString& name, std::optional<QString> previous, TrackingPayload payload = {})
{
    return { name, std::move(previous), std::move(payload), QDateTime::currentDateTimeUtc() };
}

} // namespace

class TestSentryTracker : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsWithTheFixedOptions();
    void startDependsOnTheDsn_data();
    void startDependsOnTheDsn();
    void breadcrumbs_data();
    void breadcrumbs();
    void keepsTheNewestBreadcrumbs();
};

void TestSentryTracker::startsWithTheFixedOptions()
{
    auto sdk = std::make_shared<LocalErrorReporting>();
    SentryTracker tracker(sdk, kDsn);
    tracker.start();

    QCOMPARE(sdk->startCount(), 1);
    QVERIFY(sdk->isEnabled());
    const ErrorReportingOptions options = sdk->options();
    QCOMPARE(options.setOrder(),
        (QStringList { QStringLiteral("dsn"), QStringLiteral("tracesSampleRate"),
            QStringLiteral("enableAppHangTracking"), QStringLiteral("sendDefaultPii"),
            QStringLiteral("environment") }));
    QCOMPARE(options.dsn(), kDsn);
    QCOMPARE(options.tracesSampleRate(), 1.0);
    QVERIFY(options.enableAppHangTracking());
    QVERIFY(!options.sendDefaultPii());
    QCOMPARE(options.environment(), QStringLiteral("production"));
}

void TestSentryTracker::startDependsOnTheDsn_data()
{
    QTest::addColumn<QString>("dsn");
    QTest::addColumn<int>("starts");
    QTest::addColumn<bool>("enabled");
    QTest::addRow("empty: not started") << QString() << 0 << false;
    QTest::addRow("not a URL") << QStringLiteral("sentry please") << 1 << false;
    QTest::addRow("no public key") << QStringLiteral("https://errors.veltrin.invalid/42") << 1 << false;
    QTest::addRow("no host") << QStringLiteral("https://key@/42") << 1 << false;
    QTest::addRow("complete") << kDsn << 1 << true;
}

void TestSentryTracker::startDependsOnTheDsn()
{
    QFETCH(QString, dsn);
    QFETCH(int, starts);
    QFETCH(bool, enabled);
    auto sdk = std::make_shared<LocalErrorReporting>();
    SentryTracker tracker(sdk, dsn);
    tracker.start();
    QCOMPARE(sdk->startCount(), starts);
    QCOMPARE(sdk->isEnabled(), enabled);

    tracker.track(makeEvent(QStringLiteral("install"), std::nullopt));
    QCOMPARE(sdk->breadcrumbs().size(), enabled ? 1 : 0);
}

void TestSentryTracker::breadcrumbs_data()
{
    QTest::addColumn<TrackingEvent>("event");
    QTest::addColumn<std::optional<QVariantMap>>("data");

    QTest::addRow("install without data")
        << makeEvent(QStringLiteral("install"), std::nullopt) << std::optional<QVariantMap>();
    QTest::addRow("install after app_close")
        << makeEvent(QStringLiteral("install"), QStringLiteral("app_close"))
        << std::optional<QVariantMap>(
               QVariantMap { { QStringLiteral("previous_event"), QStringLiteral("app_close") } });
    QTest::addRow("app_close keeps the value types")
        << makeEvent(QStringLiteral("app_close"), std::nullopt,
               { { QStringLiteral("session_id"), TrackingValue::string(QStringLiteral("S")) },
                   { QStringLiteral("duration_ms"), TrackingValue::integer(1500) },
                   { QStringLiteral("clean_exit"), TrackingValue::boolean(false) } })
        << std::optional<QVariantMap>(QVariantMap { { QStringLiteral("session_id"), QStringLiteral("S") },
               { QStringLiteral("duration_ms"), qint64(1500) }, { QStringLiteral("clean_exit"), false } });
}

void TestSentryTracker::breadcrumbs()
{
    QFETCH(TrackingEvent, event);
    QFETCH(std::optional<QVariantMap>, data);
    auto sdk = std::make_shared<LocalErrorReporting>();
    SentryTracker tracker(sdk, kDsn);
    tracker.track(event); // before start: the client is not enabled, nothing is kept
    QVERIFY(sdk->breadcrumbs().isEmpty());
    tracker.start();
    tracker.track(event);

    QCOMPARE(sdk->breadcrumbs().size(), 1);
    const Breadcrumb crumb = sdk->breadcrumbs().constFirst();
    QCOMPARE(int(crumb.level), 2);
    QCOMPARE(crumb.category, QStringLiteral("event"));
    QCOMPARE(crumb.type, QStringLiteral("user"));
    QCOMPARE(crumb.message, event.name);
    QCOMPARE(crumb.data, data);
    if (data) {
        for (auto it = data->cbegin(); it != data->cend(); ++it)
            QCOMPARE(crumb.data->value(it.key()).typeId(), it.value().typeId());
    }
}

void TestSentryTracker::keepsTheNewestBreadcrumbs()
{
    auto sdk = std::make_shared<LocalErrorReporting>();
    SentryTracker tracker(sdk, kDsn);
    tracker.start();
    for (int n = 0; n < 130; ++n)
        tracker.track(makeEvent(QString::number(n), std::nullopt));
    const QList<Breadcrumb> kept = sdk->breadcrumbs();
    QCOMPARE(kept.size(), 100);
    QCOMPARE(kept.constFirst().message, QStringLiteral("30"));
    QCOMPARE(kept.constLast().message, QStringLiteral("129"));
}

QTEST_GUILESS_MAIN(TestSentryTracker)
#include "tst_sentrytracker.moc"
