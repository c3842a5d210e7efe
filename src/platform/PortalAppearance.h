#pragma once

#include "platform/Appearance.h"

#include <QTimer>
#include <QVariant>

#include <optional>

class QDBusConnection;
class QDBusServiceWatcher;

namespace veltrin {

// The preference that the freedesktop settings portal reports (org.freedesktop.appearance,
// color-scheme), followed live through its SettingChanged signal. Where there is no session
// bus, no portal, or no preference, the palette's lightness at start-up decides. The first read
// does not wait: the palette decides until the portal answers.
//
// On the session bus a subscription made early in the process can be refused without an error
// (and then no match rule reaches the bus): a refused one is tried again, growing slower, until
// it holds. Once it holds, a watch on the portal's name subscribes again and reads the scheme
// afresh whenever the portal appears or changes owner, so that a portal started or restarted
// later is followed too.
class PortalAppearance final : public Appearance {
    Q_OBJECT

public:
    // The session bus, with the application palette as the fallback.
    explicit PortalAppearance(QObject* parent = nullptr);
    PortalAppearance(const QDBusConnection& bus, ColorScheme fallback, QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(PortalAppearance)

    ColorScheme colorScheme() const override;
    // The portal's own answer; empty while it has given none.
    std::optional<ColorScheme> portalColorScheme() const { return m_portal; }

    // A color-scheme value as the portal sends it (possibly wrapped in variants): 1 prefers
    // dark, 2 prefers light; 0 (no preference) and anything else give no answer.
    static std::optional<ColorScheme> schemeFromPortalValue(const QVariant& value);

    // What the portal's SettingChanged signal delivers.
    void settingChanged(const QString& settingNamespace, const QString& key, const QVariant& value);

    // True while the portal's signal is subscribed on the bus.
    bool isSubscribed() const { return m_subscribed; }

private:
    void subscribe();
    void portalOwnerChanged(const QString& newOwner);
    void readScheme();
    void setPortalScheme(std::optional<ColorScheme> scheme);

    ColorScheme m_fallback;
    std::optional<ColorScheme> m_portal;
    // The connection by name, which keeps D-Bus types out of this header.
    QString m_busName;
    QObject* m_receiver = nullptr;
    QDBusServiceWatcher* m_ownerWatch = nullptr;
    QTimer m_retry;
    // The first retry comes soon (a refusal at start-up clears within milliseconds); later
    // ones slow down.
    static constexpr int firstRetryMs = 20;
    static constexpr int slowestRetryMs = 2000;
    int m_retryDelayMs = firstRetryMs;
    int m_refusals = 0;
    bool m_subscribed = false;
};

} // namespace veltrin
