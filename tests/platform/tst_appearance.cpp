#include "platform/PortalAppearance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QProcess>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>

using namespace veltrin;

Q_DECLARE_METATYPE(std::optional<veltrin::ColorScheme>)

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceNamespace = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");

QVariant wrapped(const QVariant& value)
{
    return QVariant::fromValue(QDBusVariant(value));
}

QDBusConnection noBus()
{
    return QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/veltrin-test-bus"), QStringLiteral("veltrin-no-bus"));
}

} // namespace

// The settings portal's first version, on its own thread, as the desktop runs it.
class FakePortal final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    std::atomic<uint> value { 1 };
    // Holds a read until released, as a portal does that is still starting.
    QSemaphore answer { 1000 };

public Q_SLOTS:
    QDBusVariant Read(const QString& settingNamespace, const QString& key)
    {
        if (settingNamespace != appearanceNamespace || key != colorSchemeKey) {
            sendErrorReply(
                QStringLiteral("org.freedesktop.portal.Error.NotFound"), QStringLiteral("no such key"));
            return {};
        }
        answer.tryAcquire(1, 10000);
        // Version 1 wraps the value in a second variant.
        return QDBusVariant(wrapped(QVariant::fromValue(value.load())));
    }
};

class TestAppearance final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void portalValues_data();
    void portalValues();
    void followsOnlyTheColorSchemeSetting();
    void withoutBusThePaletteDecides_data();
    void withoutBusThePaletteDecides();
    void readsAndFollowsThePortalOnARealBus();
    void busWithoutPortalFallsBack();
    void followsThePortalWhenItsOwnerChanges_data();
    void followsThePortalWhenItsOwnerChanges();
    void cleanupTestCase();

private:
    QTemporaryDir m_busFolder;
    QProcess m_daemon;
    QString m_address;
};

namespace {

// A private bus that starts no services: the session bus's own configuration would start an
// installed settings portal on the first call to its name, and that real portal would answer in
// place of the test's own.
QString startBus(QProcess& daemon, const QTemporaryDir& folder)
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty() || !folder.isValid())
        return {};
    QFile config(folder.filePath(QStringLiteral("bus.conf")));
    if (!config.open(QIODevice::WriteOnly))
        return {};
    config.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                 " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                 "<busconfig><type>session</type><listen>unix:dir=" + QFile::encodeName(folder.path())
        + "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
          "<allow receive_sender=\"*\"/>"
          "<allow own=\"*\"/></policy></busconfig>\n");
    config.close();
    daemon.start(QStringLiteral("dbus-daemon"),
        { QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
            QStringLiteral("--print-address") });
    if (!daemon.waitForStarted())
        return {};
    while (!daemon.canReadLine() && daemon.waitForReadyRead(10000)) { }
    return QString::fromUtf8(daemon.readLine()).trimmed();
}

void stopBus(QProcess& daemon)
{
    if (daemon.state() != QProcess::NotRunning) {
        daemon.terminate();
        daemon.waitForFinished();
    }
}

} // namespace

void TestAppearance::initTestCase()
{
    qRegisterMetaType<ColorScheme>();
    m_address = startBus(m_daemon, m_busFolder);
}

void TestAppearance::cleanupTestCase()
{
    stopBus(m_daemon);
}

void TestAppearance::portalValues_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<std::optional<ColorScheme>>("expected");
    QTest::addRow("prefer dark") << QVariant::fromValue(1u) << std::optional(ColorScheme::dark);
    QTest::addRow("prefer light") << QVariant::fromValue(2u) << std::optional(ColorScheme::light);
    QTest::addRow("no preference") << QVariant::fromValue(0u) << std::optional<ColorScheme>();
    QTest::addRow("unknown value") << QVariant::fromValue(3u) << std::optional<ColorScheme>();
    QTest::addRow("wrapped once (SettingChanged, ReadOne)")
        << wrapped(QVariant::fromValue(1u)) << std::optional(ColorScheme::dark);
    QTest::addRow("wrapped twice (Read)")
        << wrapped(wrapped(QVariant::fromValue(2u))) << std::optional(ColorScheme::light);
    QTest::addRow("text, not a number") << wrapped(QStringLiteral("1")) << std::optional<ColorScheme>();
    QTest::addRow("nothing") << QVariant() << std::optional<ColorScheme>();
    QVariant deep = QVariant::fromValue(1u);
    for (int i = 0; i < 10; ++i)
        deep = wrapped(deep);
    QTest::addRow("wrapped without end") << deep << std::optional<ColorScheme>();
}

void TestAppearance::portalValues()
{
    QFETCH(QVariant, value);
    QFETCH(std::optional<ColorScheme>, expected);
    QCOMPARE(PortalAppearance::schemeFromPortalValue(value), expected);
}

void TestAppearance::followsOnlyTheColorSchemeSetting()
{
    PortalAppearance appearance(noBus(), ColorScheme::light);
    QSignalSpy changes(&appearance, &Appearance::colorSchemeChanged);
    appearance.settingChanged(
        QStringLiteral("org.gnome.desktop.interface"), colorSchemeKey, QVariant::fromValue(QDBusVariant(1u)));
    appearance.settingChanged(
        appearanceNamespace, QStringLiteral("accent-color"), QVariant::fromValue(QDBusVariant(1u)));
    QCOMPARE(changes.size(), 0);

    appearance.settingChanged(appearanceNamespace, colorSchemeKey, QVariant::fromValue(QDBusVariant(1u)));
    QCOMPARE(appearance.colorScheme(), ColorScheme::dark);
    appearance.settingChanged(appearanceNamespace, colorSchemeKey, QVariant::fromValue(QDBusVariant(1u)));
    QCOMPARE(changes.size(), 1);
    QCOMPARE(changes.at(0).at(0).value<ColorScheme>(), ColorScheme::dark);

    // No preference hands the answer back to the palette.
    appearance.settingChanged(appearanceNamespace, colorSchemeKey, QVariant::fromValue(QDBusVariant(0u)));
    QCOMPARE(appearance.colorScheme(), ColorScheme::light);
    QCOMPARE(changes.size(), 2);
}

void TestAppearance::withoutBusThePaletteDecides_data()
{
    QTest::addColumn<ColorScheme>("fallback");
    QTest::addRow("light palette") << ColorScheme::light;
    QTest::addRow("dark palette") << ColorScheme::dark;
}

void TestAppearance::withoutBusThePaletteDecides()
{
    QFETCH(ColorScheme, fallback);
    const PortalAppearance appearance(noBus(), fallback);
    QCOMPARE(appearance.colorScheme(), fallback);
    QVERIFY(!appearance.portalColorScheme());
}

void TestAppearance::readsAndFollowsThePortalOnARealBus()
{
    if (m_address.isEmpty())
        QSKIP("dbus-daemon is not available to run a private session bus");

    QThread portalThread;
    FakePortal portal;
    portal.moveToThread(&portalThread);
    portalThread.start();
    QDBusConnection server = QDBusConnection::connectToBus(m_address, QStringLiteral("veltrin-portal"));
    QVERIFY(server.isConnected());
    QVERIFY(server.registerObject(portalPath, &portal, QDBusConnection::ExportAllSlots));
    QVERIFY(server.registerService(portalService));

    {
        QDBusConnection client = QDBusConnection::connectToBus(m_address, QStringLiteral("veltrin-client"));
        portal.answer.acquire(1000); // the portal is slow to answer
        PortalAppearance appearance(client, ColorScheme::light);
        QSignalSpy changes(&appearance, &Appearance::colorSchemeChanged);
        // The window is not held up: until the answer comes, the palette decides.
        QCOMPARE(appearance.colorScheme(), ColorScheme::light);
        QVERIFY(!appearance.portalColorScheme());
        portal.answer.release(1000);
        QTRY_COMPARE(appearance.portalColorScheme(), std::optional(ColorScheme::dark));
        QCOMPARE(appearance.colorScheme(), ColorScheme::dark);
        QCOMPARE(changes.size(), 1);

        const auto announce = [&server](const QString& key, uint value) {
            QDBusMessage signal
                = QDBusMessage::createSignal(portalPath, settingsInterface, QStringLiteral("SettingChanged"));
            signal << appearanceNamespace << key << QVariant::fromValue(QDBusVariant(value));
            QVERIFY(server.send(signal));
        };
        announce(QStringLiteral("accent-color"), 2);
        announce(colorSchemeKey, 2);
        QTRY_COMPARE(changes.size(), 2);
        QCOMPARE(appearance.colorScheme(), ColorScheme::light);
        announce(colorSchemeKey, 1);
        QTRY_COMPARE(appearance.colorScheme(), ColorScheme::dark);
        QCOMPARE(changes.size(), 3);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("veltrin-client"));
    server.unregisterObject(portalPath);
    server.unregisterService(portalService);
    QDBusConnection::disconnectFromBus(QStringLiteral("veltrin-portal"));
    portalThread.quit();
    portalThread.wait();
}

void TestAppearance::busWithoutPortalFallsBack()
{
    if (m_address.isEmpty())
        QSKIP("dbus-daemon is not available to run a private session bus");
    QDBusConnection client = QDBusConnection::connectToBus(m_address, QStringLiteral("veltrin-lonely"));
    QVERIFY(client.isConnected());
    const PortalAppearance appearance(client, ColorScheme::dark);
    QCOMPARE(appearance.colorScheme(), ColorScheme::dark);
    QVERIFY(!appearance.portalColorScheme());
    QDBusConnection::disconnectFromBus(QStringLiteral("veltrin-lonely"));
}

void TestAppearance::followsThePortalWhenItsOwnerChanges_data()
{
    QTest::addColumn<bool>("portalAtStart");
    QTest::addRow("portal starts after the application") << false;
    QTest::addRow("portal restarts as another connection") << true;
}

// The portal is D-Bus activated and may restart: whoever owns its name now is read and followed.
void TestAppearance::followsThePortalWhenItsOwnerChanges()
{
    QFETCH(bool, portalAtStart);
    if (m_address.isEmpty())
        QSKIP("dbus-daemon is not available to run a private session bus");

    QThread portalThread;
    FakePortal first;
    FakePortal second;
    first.value = 1;
    second.value = 2;
    first.moveToThread(&portalThread);
    second.moveToThread(&portalThread);
    portalThread.start();
    const auto stopThread = qScopeGuard([&portalThread] {
        portalThread.quit();
        portalThread.wait();
    });
    const QString firstName = QStringLiteral("veltrin-portal-first");
    const QString secondName = QStringLiteral("veltrin-portal-second");
    QDBusConnection firstServer = QDBusConnection::connectToBus(m_address, firstName);
    QDBusConnection secondServer = QDBusConnection::connectToBus(m_address, secondName);
    const auto disconnect = qScopeGuard([&] {
        QDBusConnection::disconnectFromBus(QStringLiteral("veltrin-client"));
        for (QDBusConnection* server : { &firstServer, &secondServer }) {
            server->unregisterService(portalService);
            server->unregisterObject(portalPath);
        }
        QDBusConnection::disconnectFromBus(firstName);
        QDBusConnection::disconnectFromBus(secondName);
    });
    QVERIFY(firstServer.registerObject(portalPath, &first, QDBusConnection::ExportAllSlots));
    QVERIFY(secondServer.registerObject(portalPath, &second, QDBusConnection::ExportAllSlots));
    // As a real portal does, a change is read back afterwards as well.
    const auto announce = [](QDBusConnection& server, FakePortal& portal, uint value) {
        portal.value = value;
        QDBusMessage signal
            = QDBusMessage::createSignal(portalPath, settingsInterface, QStringLiteral("SettingChanged"));
        signal << appearanceNamespace << colorSchemeKey << QVariant::fromValue(QDBusVariant(value));
        QVERIFY(server.send(signal));
    };

    QDBusConnection client = QDBusConnection::connectToBus(m_address, QStringLiteral("veltrin-client"));
    {
        if (portalAtStart)
            QVERIFY(firstServer.registerService(portalService));
        PortalAppearance appearance(client, ColorScheme::light);
        QTRY_VERIFY(appearance.isSubscribed());
        if (portalAtStart) {
            QTRY_COMPARE(appearance.colorScheme(), ColorScheme::dark);
            QVERIFY(firstServer.unregisterService(portalService));
            // Gone: its last answer stands until another portal speaks.
            QTest::qWait(50);
            QCOMPARE(appearance.colorScheme(), ColorScheme::dark);
            QVERIFY(secondServer.registerService(portalService));
            QTRY_COMPARE(appearance.colorScheme(), ColorScheme::light);
            announce(secondServer, second, 1);
            QTRY_COMPARE(appearance.colorScheme(), ColorScheme::dark);
            announce(secondServer, second, 2);
            QTRY_COMPARE(appearance.colorScheme(), ColorScheme::light);
        } else {
            // A call on the same connection: the first read has met no portal by its answer.
            QVERIFY(!client.interface()->isServiceRegistered(portalService));
            QVERIFY(!appearance.portalColorScheme());
            QVERIFY(firstServer.registerService(portalService));
            QTRY_COMPARE(appearance.colorScheme(), ColorScheme::dark);
            announce(firstServer, first, 2);
            QTRY_COMPARE(appearance.colorScheme(), ColorScheme::light);
        }
    }
}

QTEST_GUILESS_MAIN(TestAppearance)
#include "tst_appearance.moc"
