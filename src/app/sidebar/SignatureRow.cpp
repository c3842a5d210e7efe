#include "app/sidebar/SignatureRow.h"

#include <QFontMetrics>
#include <QLocale>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace veltrin {

namespace {

// Wraps text at width and keeps at most maxLines lines, the last one ending in "…" when
// text remains.
QStringList wrappedLines(const QString& text, const QFont& font, int width, int maxLines)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == maxLines - 1) {
            const QString rest = text.mid(line.textStart());
            lines << QFontMetrics(font).elidedText(rest.simplified(), Qt::ElideRight, width);
            break;
        }
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

} // namespace

SignatureRow::Content SignatureRow::content(const SignatureFile& signature)
{
    return { signature.displayName, signature.accountEmails, lastModified(signature), fileSize(signature),
        signature.errorMessage };
}

SignatureRow::Layout SignatureRow::layout(const Content& content, int width)
{
    constexpr int inset = 6;
    constexpr int spacing = 5;
    constexpr int accountSpacing = 2;
    constexpr int fileLineSpacing = 8;
    constexpr int errorSymbolSpacing = 4;
    width = std::max(width, 1);

    Layout result;
    int y = inset;
    const auto addLine
        = [&](Part part, const QString& text, const QFont& font, Style::Color color, Qt::TextElideMode mode) {
              const QFontMetrics metrics(font);
              const QString shown = metrics.elidedText(text, mode, width);
              result.shortened = result.shortened || shown != text;
              result.texts.append({ part, shown, font, color, QRect(0, y, width, metrics.height()) });
              y += metrics.height();
          };

    addLine(Part::displayName, content.displayName, Style::font(Style::TextStyle::body, QFont::Medium),
        Style::Color::primary, Qt::ElideRight);
    y += spacing;

    const QFont caption = Style::font(Style::TextStyle::caption);
    if (content.accountEmails.isEmpty()) {
        QFont italic = caption;
        italic.setItalic(true);
        addLine(
            Part::noAccount, tr("No account associated"), italic, Style::Color::secondary, Qt::ElideRight);
    } else {
        for (qsizetype i = 0; i < content.accountEmails.size(); ++i) {
            if (i > 0)
                y += accountSpacing;
            addLine(
                Part::account, content.accountEmails.at(i), caption, Style::Color::secondary, Qt::ElideRight);
        }
    }
    y += spacing;

    const QFont caption2 = Style::font(Style::TextStyle::caption2);
    const QFontMetrics smallMetrics(caption2);
    int x = 0;
    for (const auto& [part, text] : { std::pair { Part::lastModified, content.lastModified },
             std::pair { Part::bullet, tr("•") }, std::pair { Part::fileSize, content.fileSize } }) {
        const int advance = smallMetrics.horizontalAdvance(text);
        result.texts.append(
            { part, text, caption2, Style::Color::tertiary, QRect(x, y, advance, smallMetrics.height()) });
        x += advance + fileLineSpacing;
    }
    y += smallMetrics.height();

    if (content.errorMessage) {
        y += spacing;
        const int textX = errorSymbolSize + errorSymbolSpacing;
        const int textWidth = std::max(width - textX, 1);
        result.errorSymbol
            = QRect(0, y + (smallMetrics.height() - errorSymbolSize) / 2, errorSymbolSize, errorSymbolSize);
        const QStringList lines = wrappedLines(*content.errorMessage, caption2, textWidth, errorLineLimit);
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0)
                y += smallMetrics.lineSpacing() - smallMetrics.height();
            result.texts.append({ Part::errorMessage, lines.at(i), caption2, Style::Color::red,
                QRect(textX, y, textWidth, smallMetrics.height()) });
            y += smallMetrics.height();
        }
    }
    result.height = y + inset;
    return result;
}

QString SignatureRow::fileSize(const SignatureFile& signature)
{
    // As the scan found the file; a value that no scan built has no size to show.
    if (!signature.scannedModificationDate.isValid())
        return tr("Unknown size");
    return formatByteCount(signature.fileSize);
}

QString SignatureRow::lastModified(const SignatureFile& signature)
{
    // The scan's time; without one the current time, as for a file whose time can't be read.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime modified = signature.scannedModificationDate;
    return formatRelativeTime(modified.isValid() ? modified : now, now);
}

QString SignatureRow::formatByteCount(qint64 bytes)
{
    if (bytes == 0)
        return QStringLiteral("Zero KB");
    const QLocale locale;
    if (bytes > -1000 && bytes < 1000)
        return locale.toString(bytes)
            + (std::abs(bytes) == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes"));
    static const struct {
        const char16_t* name;
        int decimals;
    } units[] = { { u"KB", 0 }, { u"MB", 1 }, { u"GB", 2 }, { u"TB", 2 }, { u"PB", 2 }, { u"EB", 2 } };
    const double magnitude = std::abs(double(bytes));
    double scale = 1000;
    std::size_t unit = 0;
    while (unit + 1 < std::size(units) && magnitude >= scale * 1000)
        ++unit, scale *= 1000;
    double value = magnitude / scale;
    double factor = std::pow(10.0, units[unit].decimals);
    double rounded = std::round(value * factor) / factor;
    // 999,600 bytes round to 1,000 KB: that is 1 MB.
    if (rounded >= 1000 && unit + 1 < std::size(units)) {
        ++unit;
        scale *= 1000;
        value = magnitude / scale;
        factor = std::pow(10.0, units[unit].decimals);
        rounded = std::round(value * factor) / factor;
    }
    QString number = locale.toString(rounded, 'f', units[unit].decimals);
    if (units[unit].decimals > 0) {
        // No padding zeros: "1 MB", "1.5 GB".
        const QString separator = locale.decimalPoint();
        while (number.endsWith(u'0') && number.contains(separator))
            number.chop(1);
        if (number.endsWith(separator))
            number.chop(separator.size());
    }
    return (bytes < 0 ? u"-"_qs : QString()) + number + u' ' + QString::fromUtf16(units[unit].name);
}

QString SignatureRow::formatRelativeTime(const QDateTime& date, const QDateTime& now)
{
    const bool past = date < now;
    const QDateTime earlier = (past ? date : now).toLocalTime();
    const QDateTime later = (past ? now : date).toLocalTime();

    int months
        = (later.date().year() - earlier.date().year()) * 12 + later.date().month() - earlier.date().month();
    if (months > 0 && earlier.addMonths(months) > later)
        --months;
    qint64 count = 0;
    QString unit;
    if (months >= 12) {
        count = months / 12;
        unit = QStringLiteral("yr.");
    } else if (months > 0) {
        count = months;
        unit = QStringLiteral("mo.");
    } else {
        const qint64 seconds = earlier.secsTo(later);
        qint64 days = earlier.daysTo(later);
        if (days > 0 && earlier.addDays(days) > later)
            --days;
        if (days >= 7) {
            count = days / 7;
            unit = QStringLiteral("wk.");
        } else if (days > 0) {
            count = days;
            unit = days == 1 ? QStringLiteral("day") : QStringLiteral("days");
        } else if (seconds >= 3600) {
            count = seconds / 3600;
            unit = QStringLiteral("hr.");
        } else if (seconds >= 60) {
            count = seconds / 60;
            unit = QStringLiteral("min.");
        } else {
            count = seconds;
            unit = QStringLiteral("sec.");
        }
    }
    const QString amount = QLocale().toString(count) + u' ' + unit;
    // No time at all reads as the future, as the platform's formatter has it.
    return past ? QString(amount + u" ago") : QString(u"in " + amount);
}

} // namespace veltrin
