#include "app/editor/ThemeMenu.h"

#include "app/look/Style.h"
#include "app/look/Symbols.h"

#include <QActionGroup>
#include <QMouseEvent>
#include <QPainter>
#include <QWidgetAction>

namespace veltrin {

namespace {

constexpr int iconSize = 16;
constexpr int checkmarkSize = 14;
constexpr int leftInset = 10;
constexpr int rightInset = 12;
constexpr int verticalInset = 4;
constexpr int spacing = 6;

} // namespace

ThemeMenuRow::ThemeMenuRow(PreviewTheme theme, QWidgetAction* action, ThemeMenu* menu)
    : QWidget(menu)
    , m_menu(menu)
    , m_action(action)
    , m_theme(theme)
{
    setMouseTracking(true);
    setFont(Style::font(Style::TextStyle::body));
}

void ThemeMenuRow::setCurrent(bool current)
{
    if (current == m_current)
        return;
    m_current = current;
    m_action->setChecked(current);
    update();
}

bool ThemeMenuRow::isHighlighted() const
{
    return m_menu->activeAction() == m_action;
}

QSize ThemeMenuRow::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int width = leftInset + iconSize + spacing + metrics.horizontalAdvance(rawValue(m_theme)) + spacing
        + checkmarkSize + rightInset;
    return { width, qMax(iconSize, metrics.height()) + 2 * verticalInset };
}

void ThemeMenuRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const bool highlighted = isHighlighted();
    if (highlighted)
        painter.fillRect(rect(), palette().color(QPalette::Highlight));
    const QColor ink = highlighted ? palette().color(QPalette::HighlightedText)
                                   : Style::color(Style::Color::primary, this);
    const int middle = height() / 2;
    int x = leftInset;
    painter.drawPixmap(x, middle - iconSize / 2, Symbols::pixmap(symbolName(m_theme), iconSize, ink));
    x += iconSize + spacing;
    painter.setPen(ink);
    const int textWidth = fontMetrics().horizontalAdvance(rawValue(m_theme));
    painter.drawText(
        QRect(x, 0, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, rawValue(m_theme));
    x += textWidth + spacing;
    if (m_current)
        painter.drawPixmap(
            x, middle - checkmarkSize / 2, Symbols::pixmap(QStringLiteral("checkmark"), checkmarkSize, ink));
}

void ThemeMenuRow::mouseMoveEvent(QMouseEvent* event)
{
    // A widget row takes the mouse from the menu, so it makes itself the active row.
    if (rect().contains(event->position().toPoint()) && m_menu->activeAction() != m_action)
        m_menu->setActiveAction(m_action);
    QWidget::mouseMoveEvent(event);
}

void ThemeMenuRow::mouseReleaseEvent(QMouseEvent* event)
{
    if (!rect().contains(event->position().toPoint()))
        return;
    m_action->trigger();
    m_menu->hide();
}

ThemeMenu::ThemeMenu(QWidget* parent)
    : QMenu(parent)
{
    setObjectName(QStringLiteral("themeMenu"));
    // The checkmark is drawn; the checked action is what a screen reader reads as the choice.
    auto* choices = new QActionGroup(this);
    for (PreviewTheme theme : allPreviewThemes()) {
        auto* action = new QWidgetAction(this);
        action->setText(rawValue(theme));
        action->setCheckable(true);
        choices->addAction(action);
        auto* row = new ThemeMenuRow(theme, action, this);
        action->setDefaultWidget(row);
        connect(action, &QAction::triggered, this, [this, theme] { Q_EMIT themeChosen(theme); });
        addAction(action);
        m_rows.append(row);
    }
    // The active row changes with the mouse and the arrow keys alike.
    connect(this, &QMenu::hovered, this, [this] {
        for (ThemeMenuRow* row : std::as_const(m_rows))
            row->update();
    });
    connect(this, &QMenu::aboutToHide, this, [this] {
        for (ThemeMenuRow* row : std::as_const(m_rows))
            row->update();
    });
}

void ThemeMenu::setCurrentTheme(PreviewTheme theme)
{
    for (ThemeMenuRow* row : std::as_const(m_rows))
        row->setCurrent(row->theme() == theme);
}

} // namespace veltrin
