#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace veltrin {

// Symbol names (such as "arrow.clockwise") mapped onto the freedesktop icon theme, tinted
// like text. A symbol that the theme lacks is drawn, so that no button is ever blank.
class Symbols final {
public:
    static QIcon icon(const QString& symbolName, const QColor& tint);
    static QPixmap pixmap(const QString& symbolName, int pixelSize, const QColor& tint);
    // Points the icon lookup at the installed freedesktop themes; main() calls it once, before
    // the first window. Changes the icons of every Qt dialog too, hence not done on first use.
    static void chooseIconTheme();
    // The theme icon name behind a symbol; empty for unknown and drawn symbols.
    static QString themeName(const QString& symbolName);
    // What a control showing only this symbol means, read out as its accessible name; empty
    // for symbols that never stand alone on a control.
    static QString accessibleName(const QString& symbolName);
};

} // namespace veltrin
