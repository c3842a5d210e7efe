#pragma once

#include "app/look/ColorScheme.h"

#include <QColor>
#include <QHashFunctions>
#include <QList>
#include <QString>

#include <optional>

namespace veltrin {

// What the editor's content area shows.
enum class ViewMode { view, code };

// The appearance chosen for the editor's content area.
enum class PreviewTheme { system, light, dark };

QString rawValue(ViewMode mode);
QString rawValue(PreviewTheme theme);
// Exact matches of the raw values only.
std::optional<ViewMode> viewModeFromRawValue(const QString& rawValue);
std::optional<PreviewTheme> previewThemeFromRawValue(const QString& rawValue);
QList<ViewMode> allViewModes();
QList<PreviewTheme> allPreviewThemes();

// The symbol name shown for a theme in the theme menu.
QString symbolName(PreviewTheme theme);
ColorScheme effectiveColorScheme(PreviewTheme theme, ColorScheme systemColorScheme);
// What the preview and the code editor are drawn on.
QColor contentBackgroundColor(ColorScheme scheme);

inline size_t qHash(ViewMode mode, size_t seed = 0) noexcept
{
    return qHash(rawValue(mode), seed);
}
inline size_t qHash(PreviewTheme theme, size_t seed = 0) noexcept
{
    return qHash(rawValue(theme), seed);
}

} // namespace veltrin
