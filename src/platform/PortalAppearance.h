#pragma once

#include "platform/Appearance.h"

#include <QVariant>

#include <optional>

class QDBusConnection;

namespace veltrin {

// The preference that the freedesktop settings portal reports (org.freedesktop.appearance,
// color-scheme), followed live through its SettingChanged signal. Where there is no session
// bus, no portal, or no preference, the palette's lightness at start-up decides. The first read
// does not wait: the palette decides until the portal answers.
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

private:
    void setPortalScheme(std::optional<ColorScheme> scheme);

    ColorScheme m_fallback;
    std::optional<ColorScheme> m_portal;
};

} // namespace veltrin
