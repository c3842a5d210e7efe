#pragma once

#include "app/look/ColorScheme.h"

#include <QColor>
#include <QFont>
#include <QPalette>

class QWidget;

namespace veltrin {

// The desktop's named text styles and colours, as Qt fonts and colours. Sizes are in
// logical pixels, so that a size of 13 looks the same as the platform's 13 points.
class Style final {
public:
    enum class TextStyle {
        largeTitle,
        title,
        title2,
        title3,
        headline,
        body,
        callout,
        subheadline,
        footnote,
        caption,
        caption2
    };
    enum class Color {
        primary,
        secondary,
        tertiary,
        blue,
        green,
        orange,
        red,
        windowBackground,
        textBackground,
        material,
        separator
    };

    static QFont font(TextStyle style);
    static QFont font(TextStyle style, QFont::Weight weight);
    static QFont systemFont(int pixelSize, QFont::Weight weight = QFont::Normal);
    static QFont monospacedFont(int pixelSize);

    static QColor color(Color color, bool dark);
    // The colour for the appearance that the widget currently shows.
    static QColor color(Color color, const QWidget* widget);

    // True when the palette is a dark one (dark window background).
    static bool isDark(const QPalette& palette);
    // The desktop's current appearance.
    static bool systemIsDark();

    // The application palette of each appearance; the appearance service switches between them.
    static QPalette palette(ColorScheme scheme);

    // Applies font and text colour to a label-like widget through its palette; the colour
    // follows later changes of the appearance.
    static void apply(QWidget* widget, TextStyle style, Color color = Color::primary);
};

} // namespace veltrin
