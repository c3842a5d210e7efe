#include "app/editor/EditorFooter.h"

#include "app/look/Controls.h"
#include "app/look/Style.h"
#include "app/look/Symbols.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

namespace veltrin {

namespace {

constexpr int symbolSize = 12;
constexpr int dotSize = 8;

void setInk(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

QPixmap dot(const QColor& color, qreal devicePixelRatio)
{
    QPixmap pixmap(QSize(dotSize, dotSize) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(0, 0, dotSize, dotSize));
    return pixmap;
}

} // namespace

EditorFooter::EditorFooter(QWidget* parent)
    : QWidget(parent)
    , m_mailWarning(new QWidget(this))
    , m_mailWarningIcon(new QLabel(m_mailWarning))
    , m_mailWarningText(new QLabel(tr("Mail is open — changes may be overwritten"), m_mailWarning))
    , m_unsavedIndicator(new QWidget(this))
    , m_unsavedDot(new QLabel(m_unsavedIndicator))
    , m_unsavedText(new QLabel(tr("Unsaved Changes"), m_unsavedIndicator))
    , m_saveButton(Controls::prominentButton(tr("Save to Mail"), Controls::ControlSize::large, 0, this))
    , m_notLockedNote(new QLabel(this))
{
    setObjectName(QStringLiteral("footer"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);

    m_mailWarning->setObjectName(QStringLiteral("mailWarning"));
    auto* warningLayout = new QHBoxLayout(m_mailWarning);
    warningLayout->setContentsMargins(0, 0, 0, 0);
    warningLayout->setSpacing(4);
    m_mailWarningText->setFont(Style::font(Style::TextStyle::caption));
    warningLayout->addWidget(m_mailWarningIcon, 0, Qt::AlignVCenter);
    warningLayout->addWidget(m_mailWarningText, 0, Qt::AlignVCenter);
    layout->addWidget(m_mailWarning);
    m_notLockedNote->setObjectName(QStringLiteral("notLockedNote"));
    m_notLockedNote->setFont(Style::font(Style::TextStyle::caption));
    // Wraps rather than widening the window.
    m_notLockedNote->setWordWrap(true);
    m_notLockedNote->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_notLockedNote->hide();
    layout->addWidget(m_notLockedNote, 1);
    layout->addStretch();

    m_unsavedIndicator->setObjectName(QStringLiteral("unsavedIndicator"));
    auto* unsavedLayout = new QHBoxLayout(m_unsavedIndicator);
    unsavedLayout->setContentsMargins(0, 0, 0, 0);
    unsavedLayout->setSpacing(6);
    m_unsavedDot->setFixedSize(dotSize, dotSize);
    m_unsavedText->setFont(Style::font(Style::TextStyle::caption));
    unsavedLayout->addWidget(m_unsavedDot, 0, Qt::AlignVCenter);
    unsavedLayout->addWidget(m_unsavedText, 0, Qt::AlignVCenter);
    layout->addWidget(m_unsavedIndicator);

    m_saveButton->setObjectName(QStringLiteral("saveButton"));
    m_saveButton->setFont(Style::font(Style::TextStyle::body));
    connect(m_saveButton, &QPushButton::clicked, this, &EditorFooter::saveClicked);
    layout->addWidget(m_saveButton);
    restyle();
}

void EditorFooter::setMailRunning(bool running)
{
    m_mailWarning->setVisible(running);
}

void EditorFooter::setUnsavedChanges(bool unsaved)
{
    m_unsavedIndicator->setVisible(unsaved);
}

void EditorFooter::setSaveEnabled(bool enabled)
{
    // A disabled button passes focus on, round the window to the sidebar; back keeps it with the edit.
    if (!enabled && m_saveButton->isEnabled() && window()->focusWidget() == m_saveButton)
        focusPreviousChild();
    if (enabled == m_saveButton->isEnabled())
        return;
    m_saveButton->setEnabled(enabled);
    Q_EMIT saveEnabledChanged(enabled);
}

void EditorFooter::setNotLockedNote(const std::optional<QString>& sentence)
{
    m_notLockedNote->setText(sentence.value_or(QString()));
    m_notLockedNote->setVisible(sentence.has_value());
}

void EditorFooter::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        restyle();
}

void EditorFooter::restyle()
{
    const QColor orange = Style::color(Style::Color::orange, this);
    setInk(m_mailWarningText, orange);
    setInk(m_notLockedNote, orange);
    m_mailWarningIcon->setPixmap(
        Symbols::pixmap(QStringLiteral("exclamationmark.triangle.fill"), symbolSize, orange));
    m_unsavedDot->setPixmap(dot(orange, devicePixelRatio()));
    setInk(m_unsavedText, Style::color(Style::Color::secondary, this));
}

} // namespace veltrin
