#include "app/editor/EditorHeader.h"

#include "app/editor/SegmentButton.h"
#include "app/editor/ThemeMenu.h"
#include "app/look/Controls.h"
#include "app/look/ElidingLabel.h"
#include "app/look/FocusRing.h"
#include "app/look/Style.h"
#include "app/look/Symbols.h"

#include <QButtonGroup>
#include <QEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace veltrin {

namespace {

constexpr QSize themeControlSize(16, 11);
constexpr int pickerWidth = 160;
constexpr int symbolSize = 12;

void setInk(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

} // namespace

EditorHeader::EditorHeader(QWidget* parent)
    : QWidget(parent)
    , m_nameLabel(new ElidingLabel(Qt::ElideRight, this))
    , m_pathLabel(new ElidingLabel(Qt::ElideMiddle, this))
    , m_picker(new QWidget(this))
    , m_errorLine(new QWidget(this))
    , m_errorIcon(new QLabel(m_errorLine))
    , m_errorText(new ElidingLabel(Qt::ElideRight, m_errorLine))
    , m_dismissButton(Controls::plainButton(m_errorLine))
    , m_themeControl(new QStackedWidget(this))
    , m_themeButton(new QToolButton(m_themeControl))
    , m_themeMenu(new ThemeMenu(m_themeButton))
    , m_themeBlank(new QWidget(m_themeControl))
{
    setObjectName(QStringLiteral("header"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 8);
    layout->setSpacing(8);

    // The titles take what the picker leaves and shorten; they never widen the window.
    auto* titleRow = new QHBoxLayout;
    auto* titles = new QVBoxLayout;
    titles->setSpacing(4);
    m_nameLabel->setObjectName(QStringLiteral("displayName"));
    m_nameLabel->setFont(Style::font(Style::TextStyle::title2, QFont::DemiBold));
    m_pathLabel->setObjectName(QStringLiteral("filePath"));
    m_pathLabel->setFont(Style::font(Style::TextStyle::caption));
    titles->addWidget(m_nameLabel);
    titles->addWidget(m_pathLabel);
    titleRow->addLayout(titles, 1);

    m_picker->setObjectName(QStringLiteral("modePicker"));
    m_picker->setFixedWidth(pickerWidth);
    auto* pickerLayout = new QHBoxLayout(m_picker);
    pickerLayout->setContentsMargins(0, 0, 0, 0);
    pickerLayout->setSpacing(0);
    auto* group = new QButtonGroup(m_picker);
    for (ViewMode mode : allViewModes()) {
        auto* segment = new SegmentButton(rawValue(mode), m_picker);
        segment->setObjectName(
            mode == ViewMode::view ? QStringLiteral("previewSegment") : QStringLiteral("codeSegment"));
        segment->setFocusPolicy(Qt::TabFocus);
        group->addButton(segment);
        pickerLayout->addWidget(segment, 1);
        connect(segment, &QPushButton::clicked, this, [this, mode] { Q_EMIT viewModeChosen(mode); });
        (mode == ViewMode::view ? m_previewButton : m_codeButton) = segment;
    }
    titleRow->addWidget(m_picker, 0, Qt::AlignVCenter);
    layout->addLayout(titleRow);
    layout->addWidget(Controls::divider(this));

    // Error text, a spacer, Dismiss at the line's end; then the theme control.
    auto* secondRow = new QHBoxLayout;
    secondRow->setSpacing(8);
    m_errorLine->setObjectName(QStringLiteral("errorLine"));
    auto* errorLayout = new QHBoxLayout(m_errorLine);
    errorLayout->setContentsMargins(0, 0, 0, 0);
    errorLayout->setSpacing(8);
    auto* errorLabel = new QHBoxLayout;
    errorLabel->setSpacing(4);
    m_errorIcon->setObjectName(QStringLiteral("errorIcon"));
    m_errorText->setObjectName(QStringLiteral("errorText"));
    m_errorText->setFont(Style::font(Style::TextStyle::caption));
    errorLabel->addWidget(m_errorIcon, 0, Qt::AlignVCenter);
    errorLabel->addWidget(m_errorText, 1, Qt::AlignVCenter);
    errorLayout->addLayout(errorLabel, 1);
    m_dismissButton->setObjectName(QStringLiteral("dismissButton"));
    m_dismissButton->setText(tr("Dismiss"));
    m_dismissButton->setFont(Style::font(Style::TextStyle::caption));
    connect(m_dismissButton, &QPushButton::clicked, this, &EditorHeader::dismissClicked);
    errorLayout->addWidget(m_dismissButton, 0, Qt::AlignVCenter);
    secondRow->addWidget(m_errorLine, 1);
    // Takes the row only while the error line is hidden, so the theme control stays at the end.
    secondRow->addStretch(0);

    m_themeControl->setFixedSize(themeControlSize);
    m_themeButton->setObjectName(QStringLiteral("themeMenuButton"));
    m_themeButton->setFixedSize(themeControlSize);
    m_themeButton->setIconSize(themeControlSize);
    m_themeButton->setAutoRaise(true);
    m_themeButton->setPopupMode(QToolButton::InstantPopup);
    m_themeButton->setToolTip(tr("Change preview theme"));
    Controls::nameBySymbol(m_themeButton, symbolName(m_theme));
    m_themeButton->setStyleSheet(
        QStringLiteral("QToolButton { border: none; padding: 0; background: transparent; }"
                       "QToolButton::menu-indicator { image: none; width: 0; }"));
    m_themeButton->setMenu(m_themeMenu);
    FocusRing::followInput();
    m_themeButton->installEventFilter(this);
    connect(m_themeMenu, &ThemeMenu::themeChosen, this, &EditorHeader::themeChosen);
    m_themeBlank->setObjectName(QStringLiteral("themeBlank"));
    m_themeBlank->setFixedSize(themeControlSize);
    m_themeControl->addWidget(m_themeButton);
    m_themeControl->addWidget(m_themeBlank);
    secondRow->addWidget(m_themeControl, 0, Qt::AlignVCenter);
    secondRow->addSpacing(10);
    layout->addLayout(secondRow);

    // The theme control was made before the picker; the keys go in reading order.
    setTabOrder(m_codeButton, m_dismissButton);
    setTabOrder(m_dismissButton, m_themeButton);

    m_themeMenu->setCurrentTheme(m_theme);
    setViewMode(ViewMode::view);
    setErrorLine(std::nullopt, false);
    restyle();
}

void EditorHeader::setTitles(const QString& displayName, const QString& filePath)
{
    m_nameLabel->setFullText(displayName);
    m_pathLabel->setFullText(filePath);
}

void EditorHeader::setViewMode(ViewMode mode)
{
    m_previewButton->setChecked(mode == ViewMode::view);
    m_codeButton->setChecked(mode == ViewMode::code);
    m_themeControl->setCurrentWidget(
        mode == ViewMode::view ? static_cast<QWidget*>(m_themeButton) : m_themeBlank);
}

void EditorHeader::setErrorLine(const std::optional<QString>& message, bool dismissible)
{
    m_errorLine->setVisible(message.has_value());
    m_errorText->setFullText(message.value_or(QString()));
    m_dismissButton->setVisible(message && dismissible);
}

void EditorHeader::setPreviewTheme(PreviewTheme theme)
{
    if (theme == m_theme)
        return;
    m_theme = theme;
    m_themeMenu->setCurrentTheme(theme);
    m_themeButton->setIcon(Symbols::icon(symbolName(theme), Style::color(Style::Color::secondary, this)));
    Controls::nameBySymbol(m_themeButton, symbolName(theme));
}

void EditorHeader::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        restyle();
}

bool EditorHeader::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_themeButton) {
        if (event->type() == QEvent::FocusIn) {
            m_themeButtonRing = FocusRing::showsFor(static_cast<QFocusEvent*>(event)->reason());
            update();
        } else if (event->type() == QEvent::FocusOut) {
            m_themeButtonRing = false;
            update();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void EditorHeader::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (!m_themeButtonRing || !m_themeButton->hasFocus() || !m_themeButton->isVisible())
        return;
    QPainter painter(this);
    const QRect button(m_themeButton->mapTo(this, QPoint(0, 0)), m_themeButton->size());
    FocusRing::paint(painter, *this, QRectF(button).adjusted(-1, -1, 1, 1), 3);
}

void EditorHeader::restyle()
{
    setInk(m_nameLabel, Style::color(Style::Color::primary, this));
    setInk(m_pathLabel, Style::color(Style::Color::secondary, this));
    const QColor red = Style::color(Style::Color::red, this);
    setInk(m_errorText, red);
    m_errorIcon->setPixmap(Symbols::pixmap(QStringLiteral("exclamationmark.triangle.fill"), symbolSize, red));
    setInk(m_dismissButton, Style::color(Style::Color::primary, this));
    m_themeButton->setIcon(Symbols::icon(symbolName(m_theme), Style::color(Style::Color::secondary, this)));

    const bool dark = Style::isDark(palette());
    const QString border
        = dark ? QStringLiteral("rgba(255,255,255,0.18)") : QStringLiteral("rgba(0,0,0,0.18)");
    const QString segment = dark ? QStringLiteral("rgba(255,255,255,0.10)") : QStringLiteral("#ffffff");
    const QString selected
        = dark ? QStringLiteral("rgba(255,255,255,0.28)") : QStringLiteral("rgba(0,0,0,0.12)");
    const QString ink = Style::color(Style::Color::primary, this).name(QColor::HexArgb);
    m_picker->setStyleSheet(QStringLiteral(
        "QPushButton { border: 1px solid %1; background: %2; color: %4; padding: 2px 6px; min-height: 16px; }"
        "QPushButton:checked { background: %3; }"
        "QPushButton:focus { border-color: %5; }"
        "QPushButton#previewSegment { border-top-left-radius: 5px; border-bottom-left-radius: 5px; }"
        "QPushButton#codeSegment { border-left: none; border-top-right-radius: 5px; "
        "border-bottom-right-radius: 5px; }")
                                .arg(border, segment, selected, ink,
                                    Style::color(Style::Color::blue, this).name()));
}

} // namespace veltrin
