#include "app/look/Controls.h"

#include "app/look/Symbols.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace veltrin {

namespace {

constexpr int largeButtonHeight = 32;
constexpr int regularButtonHeight = 24;

QString rgba(const QColor& color)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alpha());
}

} // namespace

QLabel* Controls::symbolLabel(const QString& symbolName, int pixelSize, const QColor& tint, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setPixmap(Symbols::pixmap(symbolName, pixelSize, tint));
    label->setAlignment(Qt::AlignCenter);
    label->setObjectName(symbolName);
    return label;
}

QLabel* Controls::gradientSymbolLabel(const QString& symbolName, int pixelSize, QWidget* parent)
{
    const QColor blue = Style::color(Style::Color::blue, Style::systemIsDark());
    QPixmap pixmap = Symbols::pixmap(symbolName, pixelSize, blue);
    {
        QPainter painter(&pixmap);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        QLinearGradient gradient(0, 0, 0, pixmap.height());
        gradient.setColorAt(0, blue.lighter(125));
        gradient.setColorAt(1, blue);
        painter.fillRect(pixmap.rect(), gradient);
    }
    auto* label = new QLabel(parent);
    label->setPixmap(pixmap);
    label->setAlignment(Qt::AlignCenter);
    label->setObjectName(symbolName);
    return label;
}

QLabel* Controls::textLabel(const QString& text, const QFont& font, Style::Color color, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Style::color(color, Style::isDark(palette)));
    label->setPalette(palette);
    return label;
}

QPushButton* Controls::prominentButton(const QString& text, ControlSize size, int labelWidth, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    const bool dark = Style::systemIsDark();
    const QColor blue = Style::color(Style::Color::blue, dark);
    const int horizontalPadding = size == ControlSize::large ? 16 : 10;
    const int height = size == ControlSize::large ? largeButtonHeight : regularButtonHeight;
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: white; border: none;"
                                         " border-radius: %2px; padding: 0 %3px; min-height: %4px; }"
                                         "QPushButton:hover { background-color: %5; }"
                                         "QPushButton:pressed { background-color: %6; }"
                                         "QPushButton:disabled { background-color: %7; color: %8; }")
                              .arg(rgba(blue))
                              .arg(size == ControlSize::large ? 8 : 6)
                              .arg(horizontalPadding)
                              .arg(height)
                              .arg(rgba(blue.lighter(110)), rgba(blue.darker(115)),
                                  rgba(Style::color(Style::Color::tertiary, dark)),
                                  rgba(Style::color(Style::Color::secondary, dark))));
    button->setCursor(Qt::PointingHandCursor);
    if (labelWidth > 0)
        button->setFixedWidth(labelWidth + 2 * horizontalPadding);
    return button;
}

QPushButton* Controls::plainButton(QWidget* parent)
{
    auto* button = new QPushButton(parent);
    button->setFlat(true);
    button->setStyleSheet(
        QStringLiteral("QPushButton { border: none; background: transparent; padding: 0; }"));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QFrame* Controls::divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::NoFrame);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, Style::color(Style::Color::tertiary, Style::isDark(palette)));
    line->setPalette(palette);
    return line;
}

void Controls::nameBySymbol(QWidget* control, const QString& symbolName)
{
    control->setAccessibleName(Symbols::accessibleName(symbolName));
}

MaterialBox::MaterialBox(int cornerRadius, QWidget* parent)
    : QFrame(parent)
    , m_cornerRadius(cornerRadius)
{
}

void MaterialBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), m_cornerRadius, m_cornerRadius);
    painter.fillPath(path, Style::color(Style::Color::material, this));
}

} // namespace veltrin
