#include "app/sidebar/SignatureRow.h"

#include "app/look/Style.h"
#include "app/look/Symbols.h"

#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

#include <sys/stat.h>

#include <cmath>

namespace veltrin {

namespace {

// Rows sit on the list's base colour, where labels draw with the Text role.
void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

QLabel* plainLabel(const QString& text, Style::TextStyle style, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(Style::font(style));
    return label;
}

} // namespace

SignatureRow::SignatureRow(const SignatureFile& signature, QWidget* parent)
    : QWidget(parent)
    , m_signature(signature)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 6, 0, 6);
    column->setSpacing(5);

    QLabel* name = plainLabel(m_signature.displayName, Style::TextStyle::body, this);
    name->setObjectName(QStringLiteral("displayName"));
    name->setFont(Style::font(Style::TextStyle::body, QFont::Medium));
    column->addWidget(name);

    if (m_signature.accountEmails.isEmpty()) {
        QLabel* none = plainLabel(tr("No account associated"), Style::TextStyle::caption, this);
        none->setObjectName(QStringLiteral("noAccount"));
        QFont italic = none->font();
        italic.setItalic(true);
        none->setFont(italic);
        column->addWidget(none);
        m_secondaryLabels.append(none);
    } else {
        auto* accounts = new QVBoxLayout;
        accounts->setSpacing(2);
        for (const QString& email : m_signature.accountEmails) {
            QLabel* line = plainLabel(email, Style::TextStyle::caption, this);
            line->setObjectName(QStringLiteral("account"));
            accounts->addWidget(line);
            m_secondaryLabels.append(line);
        }
        column->addLayout(accounts);
    }

    auto* fileLine = new QHBoxLayout;
    fileLine->setSpacing(8);
    QLabel* age = plainLabel(lastModified(m_signature), Style::TextStyle::caption2, this);
    age->setObjectName(QStringLiteral("lastModified"));
    QLabel* bullet = plainLabel(tr("•"), Style::TextStyle::caption2, this);
    QLabel* size = plainLabel(fileSize(m_signature), Style::TextStyle::caption2, this);
    size->setObjectName(QStringLiteral("fileSize"));
    for (QLabel* label : {age, bullet, size}) {
        fileLine->addWidget(label, 0, Qt::AlignVCenter);
        m_tertiaryLabels.append(label);
    }
    fileLine->addStretch();
    column->addLayout(fileLine);

    if (m_signature.errorMessage) {
        auto* errorLine = new QHBoxLayout;
        errorLine->setSpacing(4);
        m_errorIcon = new QLabel(this);
        m_errorText = plainLabel(*m_signature.errorMessage, Style::TextStyle::caption2, this);
        m_errorText->setObjectName(QStringLiteral("errorMessage"));
        m_errorText->setWordWrap(true);
        // At most two lines.
        m_errorText->setMaximumHeight(2 * m_errorText->fontMetrics().lineSpacing());
        errorLine->addWidget(m_errorIcon, 0, Qt::AlignTop);
        errorLine->addWidget(m_errorText, 1);
        column->addLayout(errorLine);
    }
    applyColours();
}

QString SignatureRow::fileSize(const SignatureFile& signature)
{
    // The item itself, as the file manager reports it: a link is not followed.
    struct stat status {};
    const QByteArray path = QFile::encodeName(signature.filePath.toLocalFile());
    if (path.isEmpty() || ::lstat(path.constData(), &status) != 0)
        return tr("Unknown size");
    return formatByteCount(qint64(status.st_size));
}

QString SignatureRow::lastModified(const SignatureFile& signature)
{
    return formatRelativeTime(signature.modificationDate(), QDateTime::currentDateTimeUtc());
}

QString SignatureRow::formatByteCount(qint64 bytes)
{
    if (bytes == 0)
        return QStringLiteral("Zero KB");
    const QLocale locale;
    if (bytes > -1000 && bytes < 1000)
        return locale.toString(bytes) + (std::abs(bytes) == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes"));
    static const struct {
        const char16_t* name;
        int decimals;
    } units[] = {{u"KB", 0}, {u"MB", 1}, {u"GB", 2}, {u"TB", 2}, {u"PB", 2}, {u"EB", 2}};
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

    int months = (later.date().year() - earlier.date().year()) * 12 + later.date().month() - earlier.date().month();
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

void SignatureRow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && !m_applyingColours)
        applyColours();
}

void SignatureRow::applyColours()
{
    m_applyingColours = true;
    const bool dark = Style::isDark(palette());
    for (QLabel* label : std::as_const(m_secondaryLabels))
        setTextColor(label, Style::color(Style::Color::secondary, dark));
    for (QLabel* label : std::as_const(m_tertiaryLabels))
        setTextColor(label, Style::color(Style::Color::tertiary, dark));
    if (m_errorText) {
        const QColor red = Style::color(Style::Color::red, dark);
        setTextColor(m_errorText, red);
        m_errorIcon->setPixmap(Symbols::pixmap(QStringLiteral("exclamationmark.triangle.fill"), 11, red));
    }
    m_applyingColours = false;
}

} // namespace veltrin
