#include "platform/PortalAppearance.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QPalette>

#include <algorithm>

namespace veltrin {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceNamespace = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");
const QString settingChangedSignal = QStringLiteral("SettingChanged");
const char* const settingChangedSlot = SLOT(settingChanged(QString, QString, QDBusVariant));

// Refusals before the log says so: start-up refuses a few as a rule.
constexpr int quietRefusals = 8;

Q_LOGGING_CATEGORY(lcAppearance, "veltrin.appearance")

ColorScheme paletteScheme()
{
    return QGuiApplication::palette().color(QPalette::Window).lightness() < 128 ? ColorScheme::dark
                                                                                : ColorScheme::light;
}

// Receives the portal's signal: its slot takes D-Bus types, which the header keeps out of the
// rest of the application.
class SettingChangedReceiver final : public QObject {
    Q_OBJECT

public:
    explicit SettingChangedReceiver(PortalAppearance* appearance)
        : QObject(appearance)
        , m_appearance(appearance)
    {
    }

public Q_SLOTS:
    void settingChanged(const QString& settingNamespace, const QString& key, const QDBusVariant& value)
    {
        m_appearance->settingChanged(settingNamespace, key, value.variant());
    }

private:
    PortalAppearance* m_appearance;
};

} // namespace

PortalAppearance::PortalAppearance(QObject* parent)
    : PortalAppearance(QDBusConnection::sessionBus(), paletteScheme(), parent)
{
}

PortalAppearance::PortalAppearance(const QDBusConnection& bus, ColorScheme fallback, QObject* parent)
    : Appearance(parent)
    , m_fallback(fallback)
    , m_busName(bus.name())
{
    if (!bus.isConnected())
        return;
    // The slot's argument types are looked up by name, and Qt knows QDBusVariant by name only once
    // it is registered: until something else in the process happens to do that, every
    // subscription is refused without an error.
    qRegisterMetaType<QDBusVariant>();
    m_receiver = new SettingChangedReceiver(this);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &PortalAppearance::subscribe);
    // Subscribed before the read, so that a change in between is not lost.
    subscribe();
    readScheme();
}

void PortalAppearance::subscribe()
{
    QDBusConnection connection(m_busName);
    // A repeated subscription is refused as a duplicate: drop the old one first, which also
    // makes the bus library look up the portal's current owner again.
    if (m_subscribed)
        connection.disconnect(portalService, portalPath, settingsInterface, settingChangedSignal, m_receiver,
            settingChangedSlot);
    m_subscribed = connection.connect(
        portalService, portalPath, settingsInterface, settingChangedSignal, m_receiver, settingChangedSlot);
    if (!m_subscribed) {
        ++m_refusals;
        if (m_refusals == quietRefusals)
            qCWarning(lcAppearance, "the bus keeps refusing a subscription to the settings portal (%s); "
                                    "still trying",
                qPrintable(connection.lastError().message()));
        m_retry.start(m_retryDelayMs);
        m_retryDelayMs = std::min(m_retryDelayMs * 2, slowestRetryMs);
        return;
    }
    if (m_refusals > 0) {
        // Whatever changed while unsubscribed is read now.
        m_refusals = 0;
        m_retryDelayMs = firstRetryMs;
        readScheme();
    }
    if (!m_ownerWatch) {
        // Watched only once a subscription holds: the watch subscribes the same way and would
        // be refused the same way before.
        m_ownerWatch = new QDBusServiceWatcher(
            portalService, connection, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(m_ownerWatch, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) { portalOwnerChanged(newOwner); });
    }
}

void PortalAppearance::portalOwnerChanged(const QString& newOwner)
{
    if (newOwner.isEmpty())
        return; // gone: keep its last answer until another one speaks
    m_retry.stop();
    subscribe();
    readScheme();
}

void PortalAppearance::readScheme()
{
    QDBusConnection connection(m_busName);
    // Read is the portal's first version; later versions keep it, with the value wrapped once more.
    QDBusMessage read = QDBusMessage::createMethodCall(
        portalService, portalPath, settingsInterface, QStringLiteral("Read"));
    read << appearanceNamespace << colorSchemeKey;
    // Asked without waiting: a portal that is slow to start must not hold up the first window.
    // Replies and signals from the portal arrive in the order it sent them, so a later change
    // is never overwritten by this answer.
    auto* watcher = new QDBusPendingCallWatcher(connection.asyncCall(read), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        const QDBusMessage reply = call->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            setPortalScheme(schemeFromPortalValue(reply.arguments().constFirst()));
        call->deleteLater();
    });
}

ColorScheme PortalAppearance::colorScheme() const
{
    return m_portal.value_or(m_fallback);
}

std::optional<ColorScheme> PortalAppearance::schemeFromPortalValue(const QVariant& value)
{
    QVariant unwrapped = value;
    // Variants in variants, as the bus delivers them; bounded, since a reply is untrusted input.
    for (int depth = 0; depth < 4; ++depth) {
        if (unwrapped.metaType() == QMetaType::fromType<QDBusVariant>())
            unwrapped = unwrapped.value<QDBusVariant>().variant();
        else if (unwrapped.metaType() == QMetaType::fromType<QDBusArgument>()) {
            const auto argument = unwrapped.value<QDBusArgument>();
            if (argument.currentType() != QDBusArgument::VariantType)
                return std::nullopt;
            unwrapped = qdbus_cast<QDBusVariant>(argument).variant();
        } else
            break;
    }
    if (unwrapped.metaType() != QMetaType::fromType<uint>()
        && unwrapped.metaType() != QMetaType::fromType<int>())
        return std::nullopt;
    switch (unwrapped.toInt()) {
    case 1:
        return ColorScheme::dark;
    case 2:
        return ColorScheme::light;
    default:
        return std::nullopt;
    }
}

void PortalAppearance::settingChanged(
    const QString& settingNamespace, const QString& key, const QVariant& value)
{
    if (settingNamespace != appearanceNamespace || key != colorSchemeKey)
        return;
    setPortalScheme(schemeFromPortalValue(value));
}

void PortalAppearance::setPortalScheme(std::optional<ColorScheme> scheme)
{
    const ColorScheme before = colorScheme();
    m_portal = scheme;
    if (colorScheme() != before)
        Q_EMIT colorSchemeChanged(colorScheme());
}

} // namespace veltrin

#include "PortalAppearance.moc"
