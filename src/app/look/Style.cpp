#include "app/look/Style.h"

#include "app/look/Controls.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPalette>
#include <QWidget>

#include <algorithm>

namespace veltrin {

namespace {

struct TextMetrics {
    int size;
    QFont::Weight weight;
    qreal letterSpacing; // percent; 100 is normal
};

TextMetrics metrics(Style::TextStyle style)
{
    using enum Style::TextStyle;
    switch (style) {
    case largeTitle:
        return { 26, QFont::Normal, 100 };
    case title:
        return { 22, QFont::Normal, 100 };
    case title2:
        return { 17, QFont::Normal, 100 };
    case title3:
        return { 15, QFont::Normal, 100 };
    case headline:
        return { 13, QFont::Bold, 100 };
    case body:
        return { 13, QFont::Normal, 100 };
    case callout:
        return { 12, QFont::Normal, 100 };
    case subheadline:
        return { 11, QFont::Normal, 100 };
    case footnote:
        return { 10, QFont::Normal, 100 };
    case caption:
        return { 10, QFont::Normal, 100 };
    case caption2:
        return { 10, QFont::Normal, 103 };
    }
    return { 13, QFont::Normal, 100 };
}

// A font's declared pitch is not to be trusted (some monospaced fonts declare none): what
// counts is that narrow and wide letters take the same room.
bool hasEqualAdvances(const QFont& font)
{
    const QFontMetricsF metrics(font);
    const qreal wide = metrics.horizontalAdvance(QLatin1Char('W'));
    if (wide <= 0)
        return false;
    for (const char c : { 'i', 'l', '.', 'M', 'm', '0' }) {
        if (!qFuzzyCompare(metrics.horizontalAdvance(QLatin1Char(c)), wide))
            return false;
    }
    return true;
}

QString monospacedFamily()
{
    static const QString family = [] {
        QFont preferred = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        preferred.setStyleHint(QFont::Monospace);
        if (hasEqualAdvances(preferred))
            return QFontInfo(preferred).family();
        // Families that declare a fixed pitch first, then the rest.
        QStringList families = QFontDatabase::families();
        std::ranges::stable_partition(
            families, [](const QString& f) { return QFontDatabase::isFixedPitch(f); });
        for (const QString& candidate : std::as_const(families)) {
            if (hasEqualAdvances(QFont(candidate)))
                return candidate;
        }
        return QFontInfo(preferred).family();
    }();
    return family;
}

QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

} // namespace

QFont Style::font(TextStyle style)
{
    const TextMetrics m = metrics(style);
    QFont f = systemFont(m.size, m.weight);
    if (m.letterSpacing != 100)
        f.setLetterSpacing(QFont::PercentageSpacing, m.letterSpacing);
    return f;
}

QFont Style::font(TextStyle style, QFont::Weight weight)
{
    QFont f = font(style);
    f.setWeight(weight);
    return f;
}

QFont Style::systemFont(int pixelSize, QFont::Weight weight)
{
    QFont f = QGuiApplication::font();
    f.setPixelSize(pixelSize);
    f.setWeight(weight);
    return f;
}

QFont Style::monospacedFont(int pixelSize)
{
    QFont f(monospacedFamily());
    f.setStyleHint(QFont::Monospace);
    f.setPixelSize(pixelSize);
    return f;
}

QColor Style::color(Color color, bool dark)
{
    const QColor ink = dark ? QColor(Qt::white) : QColor(Qt::black);
    switch (color) {
    case Color::primary:
        return withAlpha(ink, 0.85);
    case Color::secondary:
        return withAlpha(ink, dark ? 0.55 : 0.50);
    case Color::tertiary:
        return withAlpha(ink, dark ? 0.25 : 0.26);
    case Color::blue:
        return dark ? QColor(0x0A, 0x84, 0xFF) : QColor(0x00, 0x7A, 0xFF);
    case Color::green:
        return dark ? QColor(0x32, 0xD7, 0x4B) : QColor(0x28, 0xCD, 0x41);
    case Color::orange:
        return dark ? QColor(0xFF, 0x9F, 0x0A) : QColor(0xFF, 0x95, 0x00);
    case Color::red:
        return dark ? QColor(0xFF, 0x45, 0x3A) : QColor(0xFF, 0x3B, 0x30);
    case Color::windowBackground:
        return dark ? QColor(0x1E, 0x1E, 0x1E) : QColor(0xEC, 0xEC, 0xEC);
    case Color::textBackground:
        return dark ? QColor(0x1E, 0x1E, 0x1E) : QColor(Qt::white);
    // Translucent: what lies behind a material shows through it.
    case Color::material:
        return dark ? QColor(0x48, 0x48, 0x4C, 0xA0) : QColor(0xFF, 0xFF, 0xFF, 0x9C);
    case Color::separator:
        return dark ? QColor(0xFF, 0xFF, 0xFF, 38) : QColor(0x00, 0x00, 0x00, 26);
    }
    return ink;
}

QColor Style::color(Color c, const QWidget* widget)
{
    return color(c, widget ? isDark(widget->palette()) : systemIsDark());
}

bool Style::isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

bool Style::systemIsDark()
{
    return isDark(QGuiApplication::palette());
}

QPalette Style::palette(ColorScheme scheme)
{
    const bool dark = scheme == ColorScheme::dark;
    const QColor window = color(Color::windowBackground, dark);
    const QColor button = dark ? QColor(0x3A, 0x3A, 0x3C) : QColor(0xFA, 0xFA, 0xFA);
    QPalette palette(button, window);
    const QColor primary = color(Color::primary, dark);
    const QColor secondary = color(Color::secondary, dark);
    const QColor tertiary = color(Color::tertiary, dark);
    palette.setColor(QPalette::WindowText, primary);
    palette.setColor(QPalette::Text, primary);
    palette.setColor(QPalette::ButtonText, primary);
    palette.setColor(QPalette::Base, color(Color::textBackground, dark));
    palette.setColor(QPalette::AlternateBase, dark ? QColor(0x26, 0x26, 0x28) : QColor(0xF4, 0xF5, 0xF5));
    palette.setColor(QPalette::Highlight, color(Color::blue, dark));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, color(Color::blue, dark));
    palette.setColor(QPalette::LinkVisited, color(Color::blue, dark));
    palette.setColor(QPalette::PlaceholderText, tertiary);
    palette.setColor(QPalette::ToolTipBase, dark ? QColor(0x2C, 0x2C, 0x2E) : QColor(0xFF, 0xFF, 0xFF));
    palette.setColor(QPalette::ToolTipText, primary);
    palette.setColor(QPalette::BrightText, dark ? QColor(Qt::white) : QColor(Qt::black));
    for (const QPalette::ColorRole role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        palette.setColor(QPalette::Disabled, role, tertiary);
    palette.setColor(QPalette::Inactive, QPalette::Highlight, secondary);
    return palette;
}

void Style::apply(QWidget* widget, TextStyle style, Color c)
{
    widget->setFont(font(style));
    Controls::setTextColor(widget, c);
}

} // namespace veltrin
