#include "app/editor/EditorModes.h"

namespace veltrin {

QString rawValue(ViewMode mode)
{
    switch (mode) {
    case ViewMode::view:
        return QStringLiteral("Preview");
    case ViewMode::code:
        return QStringLiteral("Code");
    }
    return {};
}

QString rawValue(PreviewTheme theme)
{
    switch (theme) {
    case PreviewTheme::system:
        return QStringLiteral("System");
    case PreviewTheme::light:
        return QStringLiteral("Light");
    case PreviewTheme::dark:
        return QStringLiteral("Dark");
    }
    return {};
}

std::optional<ViewMode> viewModeFromRawValue(const QString& value)
{
    for (ViewMode mode : allViewModes()) {
        if (rawValue(mode) == value)
            return mode;
    }
    return std::nullopt;
}

std::optional<PreviewTheme> previewThemeFromRawValue(const QString& value)
{
    for (PreviewTheme theme : allPreviewThemes()) {
        if (rawValue(theme) == value)
            return theme;
    }
    return std::nullopt;
}

QList<ViewMode> allViewModes()
{
    return { ViewMode::view, ViewMode::code };
}

QList<PreviewTheme> allPreviewThemes()
{
    return { PreviewTheme::system, PreviewTheme::light, PreviewTheme::dark };
}

QString symbolName(PreviewTheme theme)
{
    switch (theme) {
    case PreviewTheme::system:
        return QStringLiteral("circle.lefthalf.filled");
    case PreviewTheme::light:
        return QStringLiteral("sun.max.fill");
    case PreviewTheme::dark:
        return QStringLiteral("moon.fill");
    }
    return {};
}

ColorScheme effectiveColorScheme(PreviewTheme theme, ColorScheme systemColorScheme)
{
    switch (theme) {
    case PreviewTheme::system:
        return systemColorScheme;
    case PreviewTheme::light:
        return ColorScheme::light;
    case PreviewTheme::dark:
        return ColorScheme::dark;
    }
    return systemColorScheme;
}

QColor contentBackgroundColor(ColorScheme scheme)
{
    return scheme == ColorScheme::dark ? QColor::fromRgbF(0.11f, 0.11f, 0.12f, 1.0f) : QColor(Qt::white);
}

} // namespace veltrin
