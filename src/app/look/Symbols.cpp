#include "app/look/Symbols.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QStandardPaths>

namespace veltrin {

namespace {

const QHash<QString, QString>& themeNames()
{
    static const QHash<QString, QString> names {
        { QStringLiteral("arrow.clockwise"), QStringLiteral("view-refresh") },
        { QStringLiteral("doc.text.magnifyingglass"), QStringLiteral("system-search") },
        { QStringLiteral("doc.text"), QStringLiteral("text-x-generic") },
        { QStringLiteral("exclamationmark.triangle.fill"), QStringLiteral("dialog-warning") },
        { QStringLiteral("xmark.circle.fill"), QStringLiteral("window-close") },
        { QStringLiteral("sun.max.fill"), QStringLiteral("weather-clear") },
        { QStringLiteral("moon.fill"), QStringLiteral("weather-clear-night") },
        { QStringLiteral("lock.fill"), QStringLiteral("changes-prevent") },
        { QStringLiteral("eye.fill"), QStringLiteral("view-reveal") },
        { QStringLiteral("clock.arrow.circlepath"), QStringLiteral("document-open-recent") },
        { QStringLiteral("checkmark.shield.fill"), QStringLiteral("security-high") },
        { QStringLiteral("checkmark"), QStringLiteral("object-select") },
        { QStringLiteral("signature"), QStringLiteral("document-edit") },
        { QStringLiteral("questionmark.circle"), QStringLiteral("help-browser") },
    };
    return names;
}

QPixmap tinted(const QPixmap& source, const QColor& tint)
{
    QPixmap result(source.size());
    result.setDevicePixelRatio(source.devicePixelRatio());
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.drawPixmap(0, 0, source);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(result.rect(), tint);
    return result;
}

// Symbols the icon theme has no picture for, drawn as text.
const QHash<QString, QString>& drawnGlyphs()
{
    static const QHash<QString, QString> glyphs {
        { QStringLiteral("chevron.left.forwardslash.chevron.right"), QStringLiteral("</>") },
    };
    return glyphs;
}

// Symbols that icon themes have no picture for, drawn in the symbol's own shape.
using Drawing = void (*)(QPainter&, qreal size, const QColor& tint);

void drawHalfFilledCircle(QPainter& painter, qreal size, const QColor& tint)
{
    const qreal stroke = qMax(1.0, size / 12);
    const QRectF circle(size * 0.1, size * 0.1, size * 0.8, size * 0.8);
    painter.setPen(Qt::NoPen);
    painter.setBrush(tint);
    painter.drawPie(circle, 90 * 16, 180 * 16);
    painter.setPen(QPen(tint, stroke));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(circle.adjusted(stroke / 2, stroke / 2, -stroke / 2, -stroke / 2));
}

void cutCheck(QPainter& painter, qreal size, const QPointF& origin, qreal scale)
{
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    QPen pen(Qt::black, qMax(1.5, size * scale * 0.11), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const auto at = [&](qreal x, qreal y) { return origin + QPointF(x, y) * size * scale; };
    painter.drawPolyline(QPolygonF({ at(0.28, 0.52), at(0.43, 0.67), at(0.72, 0.36) }));
    painter.restore();
}

void drawCircledCheck(QPainter& painter, qreal size, const QColor& tint)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(tint);
    painter.drawEllipse(QRectF(size * 0.06, size * 0.06, size * 0.88, size * 0.88));
    cutCheck(painter, size, QPointF(0, 0), 1.0);
}

void drawFolderWithQuestionMark(QPainter& painter, qreal size, const QColor& tint)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(tint);
    QPainterPath folder;
    folder.addRoundedRect(
        QRectF(size * 0.04, size * 0.24, size * 0.80, size * 0.58), size * 0.06, size * 0.06);
    folder.addRoundedRect(
        QRectF(size * 0.04, size * 0.16, size * 0.34, size * 0.16), size * 0.05, size * 0.05);
    folder.setFillRule(Qt::WindingFill);
    painter.drawPath(folder);
    // The badge sits in a gap cut out of the folder's corner.
    const QPointF badgeCentre(size * 0.74, size * 0.72);
    const qreal badgeRadius = size * 0.22;
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.drawEllipse(badgeCentre, badgeRadius + size * 0.05, badgeRadius + size * 0.05);
    painter.restore();
    painter.drawEllipse(badgeCentre, badgeRadius, badgeRadius);
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    QFont font = QGuiApplication::font();
    font.setPixelSize(qMax(5, int(badgeRadius * 1.5)));
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRectF(badgeCentre.x() - badgeRadius, badgeCentre.y() - badgeRadius, 2 * badgeRadius,
                         2 * badgeRadius),
        Qt::AlignCenter, QStringLiteral("?"));
    painter.restore();
}

void drawSun(QPainter& painter, qreal size, const QColor& tint)
{
    const QPointF centre(size / 2, size / 2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(tint);
    painter.drawEllipse(centre, size * 0.2, size * 0.2);
    painter.setPen(QPen(tint, qMax(1.0, size / 12), Qt::SolidLine, Qt::RoundCap));
    for (int ray = 0; ray < 8; ++ray) {
        painter.save();
        painter.translate(centre);
        painter.rotate(ray * 45.0);
        painter.drawLine(QPointF(0, -size * 0.3), QPointF(0, -size * 0.42));
        painter.restore();
    }
}

void drawMoon(QPainter& painter, qreal size, const QColor& tint)
{
    QPainterPath disc;
    disc.addEllipse(QRectF(size * 0.12, size * 0.12, size * 0.76, size * 0.76));
    QPainterPath bite;
    bite.addEllipse(QRectF(size * 0.38, size * 0.0, size * 0.62, size * 0.62));
    painter.fillPath(disc.subtracted(bite), tint);
}

// Drawn in place of any theme picture: themes offer no such shape, or one that looks like
// another symbol ("display-brightness" is a sun, "emblem-ok" a bare check).
const QHash<QString, Drawing>& drawings()
{
    static const QHash<QString, Drawing> table {
        { QStringLiteral("circle.lefthalf.filled"), drawHalfFilledCircle },
        { QStringLiteral("checkmark.circle.fill"), drawCircledCheck },
        { QStringLiteral("folder.badge.questionmark"), drawFolderWithQuestionMark },
    };
    return table;
}

// Drawn only where the installed theme lacks the picture.
const QHash<QString, Drawing>& fallbackDrawings()
{
    static const QHash<QString, Drawing> table {
        { QStringLiteral("sun.max.fill"), drawSun },
        { QStringLiteral("moon.fill"), drawMoon },
    };
    return table;
}

QPixmap drawn(Drawing drawing, int size, const QColor& tint)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    drawing(painter, size, tint);
    return pixmap;
}

// A plain drawn stand-in: the symbol's glyph, or a ring with its first letter.
QPixmap drawnFallback(const QString& symbolName, int size, const QColor& tint)
{
    if (const Drawing drawing = fallbackDrawings().value(symbolName))
        return drawn(drawing, size, tint);
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    if (const QString glyph = drawnGlyphs().value(symbolName); !glyph.isEmpty()) {
        QFont font = QGuiApplication::font();
        font.setPixelSize(qMax(6, size * 5 / 8));
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(tint);
        painter.drawText(pixmap.rect(), Qt::AlignCenter, glyph);
        return pixmap;
    }
    QPen pen(tint);
    pen.setWidthF(qMax(1.0, size / 12.0));
    painter.setPen(pen);
    painter.drawEllipse(QRectF(pen.widthF(), pen.widthF(), size - 2 * pen.widthF(), size - 2 * pen.widthF()));
    QFont font = QGuiApplication::font();
    font.setPixelSize(qMax(6, size / 2));
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, symbolName.left(1).toUpper());
    return pixmap;
}

} // namespace

QString Symbols::themeName(const QString& symbolName)
{
    return themeNames().value(symbolName);
}

void Symbols::chooseIconTheme()
{
    // Without a desktop's platform theme (offscreen, minimal sessions) Qt searches only its
    // resources; the installed themes live in the XDG data folders.
    QStringList paths = QIcon::themeSearchPaths();
    const QStringList dataFolders = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    for (const QString& folder : dataFolders) {
        const QString icons = folder + u"/icons";
        if (!paths.contains(icons))
            paths.append(icons);
    }
    QIcon::setThemeSearchPaths(paths);
    // A desktop that names its theme keeps it; Adwaita ships with the application's packages.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == u"hicolor")
        QIcon::setThemeName(QStringLiteral("Adwaita"));
}

QPixmap Symbols::pixmap(const QString& symbolName, int pixelSize, const QColor& tint)
{
    if (const Drawing drawing = drawings().value(symbolName))
        return drawn(drawing, pixelSize, tint);
    const QString name = themeName(symbolName);
    if (!name.isEmpty()) {
        for (const QString& candidate : { QString(name + QStringLiteral("-symbolic")), name }) {
            const QIcon themed = QIcon::fromTheme(candidate);
            if (themed.isNull())
                continue;
            const QPixmap source = themed.pixmap(pixelSize, pixelSize);
            if (!source.isNull())
                return candidate.endsWith(u"-symbolic") ? tinted(source, tint) : source;
        }
    }
    return drawnFallback(symbolName, pixelSize, tint);
}

QIcon Symbols::icon(const QString& symbolName, const QColor& tint)
{
    QIcon icon;
    for (int size : { 16, 24, 32, 48, 64 })
        icon.addPixmap(pixmap(symbolName, size, tint));
    return icon;
}

QString Symbols::accessibleName(const QString& symbolName)
{
    static const QHash<QString, const char*> meanings {
        { QStringLiteral("xmark.circle.fill"), QT_TRANSLATE_NOOP("Symbols", "Close") },
        { QStringLiteral("arrow.clockwise"), QT_TRANSLATE_NOOP("Symbols", "Reload") },
        { QStringLiteral("circle.lefthalf.filled"), QT_TRANSLATE_NOOP("Symbols", "System") },
        { QStringLiteral("sun.max.fill"), QT_TRANSLATE_NOOP("Symbols", "Light") },
        { QStringLiteral("moon.fill"), QT_TRANSLATE_NOOP("Symbols", "Dark") },
    };
    const char* meaning = meanings.value(symbolName);
    return meaning ? QCoreApplication::translate("Symbols", meaning) : QString();
}

} // namespace veltrin
