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
    static const QHash<QString, QString> names{
        {QStringLiteral("arrow.clockwise"), QStringLiteral("view-refresh")},
        {QStringLiteral("doc.text.magnifyingglass"), QStringLiteral("system-search")},
        {QStringLiteral("doc.text"), QStringLiteral("text-x-generic")},
        {QStringLiteral("exclamationmark.triangle.fill"), QStringLiteral("dialog-warning")},
        {QStringLiteral("xmark.circle.fill"), QStringLiteral("window-close")},
        {QStringLiteral("sun.max.fill"), QStringLiteral("weather-clear")},
        {QStringLiteral("moon.fill"), QStringLiteral("weather-clear-night")},
        {QStringLiteral("circle.lefthalf.filled"), QStringLiteral("display-brightness")},
        {QStringLiteral("lock.fill"), QStringLiteral("changes-prevent")},
        {QStringLiteral("folder.badge.questionmark"), QStringLiteral("folder")},
        {QStringLiteral("eye.fill"), QStringLiteral("view-reveal")},
        {QStringLiteral("clock.arrow.circlepath"), QStringLiteral("document-open-recent")},
        {QStringLiteral("checkmark.shield.fill"), QStringLiteral("security-high")},
        {QStringLiteral("checkmark.circle.fill"), QStringLiteral("emblem-ok")},
        {QStringLiteral("checkmark"), QStringLiteral("object-select")},
        {QStringLiteral("signature"), QStringLiteral("document-edit")},
        {QStringLiteral("questionmark.circle"), QStringLiteral("help-browser")},
    };
    return names;
}

void ensureTheme()
{
    // Without a desktop's platform theme (offscreen, minimal sessions) Qt searches only its
    // resources; the installed themes live in the XDG data folders.
    static const bool searchPathsAdded = [] {
        QStringList paths = QIcon::themeSearchPaths();
        const QStringList dataFolders = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
        for (const QString& folder : dataFolders) {
            const QString icons = folder + u"/icons";
            if (!paths.contains(icons))
                paths.append(icons);
        }
        QIcon::setThemeSearchPaths(paths);
        return true;
    }();
    Q_UNUSED(searchPathsAdded);
    // Offscreen and minimal desktops name no theme; Adwaita ships with the application's packages.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == u"hicolor")
        QIcon::setThemeName(QStringLiteral("Adwaita"));
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
    static const QHash<QString, QString> glyphs{
        {QStringLiteral("chevron.left.forwardslash.chevron.right"), QStringLiteral("</>")},
    };
    return glyphs;
}

// A plain drawn stand-in: the symbol's glyph, or a ring with its first letter.
QPixmap drawnFallback(const QString& symbolName, int size, const QColor& tint)
{
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

QPixmap Symbols::pixmap(const QString& symbolName, int pixelSize, const QColor& tint)
{
    ensureTheme();
    const QString name = themeName(symbolName);
    if (!name.isEmpty()) {
        for (const QString& candidate : {QString(name + QStringLiteral("-symbolic")), name}) {
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
    for (int size : {16, 24, 32, 48, 64})
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
