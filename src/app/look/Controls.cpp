#include "app/look/Controls.h"

#include "app/look/FocusRing.h"
#include "app/look/Symbols.h"

#include <QEvent>
#include <QFocusEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTextDocument>

#include <variant>

namespace veltrin {

namespace {

constexpr int largeButtonHeight = 32;
constexpr int regularButtonHeight = 24;

// Re-applies a named text colour whenever the widget's palette changes (the appearance did).
class TextColorKeeper final : public QObject {
public:
    TextColorKeeper(QWidget* widget, Style::Color color)
        : QObject(widget)
        , m_widget(widget)
        , m_color(color)
    {
        widget->installEventFilter(this);
    }

    static TextColorKeeper* of(QWidget* widget)
    {
        const QObjectList& children = widget->children();
        for (QObject* child : children)
            if (auto* keeper = dynamic_cast<TextColorKeeper*>(child))
                return keeper;
        return nullptr;
    }

    void setColor(Style::Color color)
    {
        m_color = color;
        apply();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_widget && event->type() == QEvent::PaletteChange)
            apply();
        return false;
    }

private:
    void apply()
    {
        const QColor color = Style::color(m_color, m_widget);
        QPalette palette = m_widget->palette();
        for (const QPalette::ColorRole role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
            palette.setColor(role, color);
        // Unchanged palettes send no event, so this does not come back here.
        m_widget->setPalette(palette);
    }

    QWidget* m_widget;
    Style::Color m_color;
};

// A symbol in a label, drawn again for every change of the palette.
class SymbolLabel final : public QLabel {
public:
    using Tint = std::variant<QColor, Style::Color>;

    SymbolLabel(const QString& symbolName, int pixelSize, Tint tint, bool gradient, QWidget* parent)
        : QLabel(parent)
        , m_symbolName(symbolName)
        , m_pixelSize(pixelSize)
        , m_tint(tint)
        , m_gradient(gradient)
    {
        setAlignment(Qt::AlignCenter);
        setObjectName(symbolName);
        render();
    }

protected:
    void changeEvent(QEvent* event) override
    {
        QLabel::changeEvent(event);
        if (event->type() == QEvent::PaletteChange)
            render();
    }

private:
    void render()
    {
        const QColor tint = std::holds_alternative<QColor>(m_tint)
            ? std::get<QColor>(m_tint)
            : Style::color(std::get<Style::Color>(m_tint), this);
        QPixmap pixmap = Symbols::pixmap(m_symbolName, m_pixelSize, tint);
        if (m_gradient) {
            QPainter painter(&pixmap);
            painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
            QLinearGradient gradient(0, 0, 0, pixmap.height());
            gradient.setColorAt(0, tint.lighter(125));
            gradient.setColorAt(1, tint);
            painter.fillRect(pixmap.rect(), gradient);
        }
        setPixmap(pixmap);
    }

    QString m_symbolName;
    int m_pixelSize;
    Tint m_tint;
    bool m_gradient;
};

// Keyboard focus shows as a ring; focus that follows a click does not.
class FocusRingButton : public QPushButton {
public:
    explicit FocusRingButton(QWidget* parent)
        : QPushButton(parent)
    {
        FocusRing::followInput();
    }
    FocusRingButton(const QString& text, QWidget* parent)
        : QPushButton(text, parent)
    {
        FocusRing::followInput();
    }

protected:
    bool showsFocusRing() const { return m_keyboardFocus && hasFocus(); }

    void focusInEvent(QFocusEvent* event) override
    {
        m_keyboardFocus = FocusRing::showsFor(event->reason());
        QPushButton::focusInEvent(event);
    }
    void focusOutEvent(QFocusEvent* event) override
    {
        m_keyboardFocus = false;
        QPushButton::focusOutEvent(event);
    }

    void paintFocusRing(QPainter& painter, const QRectF& body, qreal radius) const
    {
        if (showsFocusRing())
            FocusRing::paint(painter, *this, body, radius);
    }

private:
    bool m_keyboardFocus = false;
};

// The bordered-prominent style: white text on the accent blue, painted from the palette at
// every paint, so that it follows the appearance.
class ProminentButton final : public FocusRingButton {
public:
    ProminentButton(const QString& text, Controls::ControlSize size, int labelWidth, QWidget* parent)
        : FocusRingButton(text, parent)
        , m_large(size == Controls::ControlSize::large)
    {
        setAttribute(Qt::WA_Hover);
        setCursor(Qt::PointingHandCursor);
        setIconSize(QSize(16, 16));
        if (labelWidth > 0)
            setFixedWidth(labelWidth + 2 * (padding() + Controls::focusRingWidth));
    }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(font());
        int content = metrics.horizontalAdvance(text());
        if (!icon().isNull())
            content += iconSize().width() + iconSpacing;
        return { content + 2 * (padding() + Controls::focusRingWidth),
            qMax(bodyHeight(), metrics.height() + 8) + 2 * Controls::focusRingWidth };
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal ring = Controls::focusRingWidth;
        const QRectF body = QRectF(rect()).adjusted(ring, ring, -ring, -ring);
        const qreal radius = m_large ? 8 : 6;
        const bool dark = Style::isDark(palette());
        QColor fill = Style::color(Style::Color::blue, dark);
        QColor ink(Qt::white);
        if (!isEnabled()) {
            fill = dark ? QColor(255, 255, 255, 31) : QColor(0, 0, 0, 20);
            ink = Style::color(Style::Color::tertiary, dark);
        } else if (isDown()) {
            fill = fill.darker(115);
        } else if (underMouse()) {
            fill = fill.lighter(110);
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(body, radius, radius);
        paintFocusRing(painter, body, radius);

        const QFontMetrics metrics(font());
        const int iconWidth = icon().isNull() ? 0 : iconSize().width() + iconSpacing;
        const int contentWidth = iconWidth + metrics.horizontalAdvance(text());
        qreal x = body.center().x() - contentWidth / 2.0;
        if (!icon().isNull()) {
            const QPixmap pixmap = icon().pixmap(iconSize(), isEnabled() ? QIcon::Normal : QIcon::Disabled);
            painter.drawPixmap(QPointF(x, body.center().y() - iconSize().height() / 2.0), pixmap);
            x += iconWidth;
        }
        painter.setPen(ink);
        painter.setFont(font());
        painter.drawText(
            QRectF(x, body.top(), body.right() - x, body.height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    }

private:
    static constexpr int iconSpacing = 6;
    int padding() const { return m_large ? 16 : 10; }
    int bodyHeight() const { return m_large ? largeButtonHeight : regularButtonHeight; }

    bool m_large;
};

// The plain style: the label alone, in the button's text colour; a symbol is tinted the same.
class PlainButton final : public FocusRingButton {
public:
    explicit PlainButton(QWidget* parent)
        : FocusRingButton(parent)
    {
        setFlat(true);
        setCursor(Qt::PointingHandCursor);
    }

    void setSymbol(const QString& symbolName, int pixelSize)
    {
        m_symbolName = symbolName;
        setIconSize(QSize(pixelSize, pixelSize));
        updateGeometry();
        update();
    }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(font());
        int width = text().isEmpty() ? 0 : metrics.horizontalAdvance(text());
        int height = text().isEmpty() ? 0 : metrics.height();
        if (!m_symbolName.isEmpty()) {
            width += iconSize().width() + (text().isEmpty() ? 0 : 4);
            height = qMax(height, iconSize().height());
        }
        return { width + 2 * margin, height + 2 * margin };
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF body = QRectF(rect()).adjusted(margin, margin, -margin, -margin);
        QColor ink = palette().color(QPalette::ButtonText);
        if (isDown())
            ink.setAlphaF(ink.alphaF() * 0.6f);
        qreal x = body.left();
        if (!m_symbolName.isEmpty()) {
            const QPixmap pixmap = Symbols::pixmap(m_symbolName, iconSize().width(), ink);
            painter.drawPixmap(QPointF(x, body.center().y() - iconSize().height() / 2.0), pixmap);
            x += iconSize().width() + 4;
        }
        if (!text().isEmpty()) {
            painter.setPen(ink);
            painter.setFont(font());
            painter.drawText(QRectF(x, body.top(), body.right() - x, body.height()),
                Qt::AlignVCenter | Qt::AlignLeft, text());
        }
        paintFocusRing(painter, body.adjusted(-1, -1, 1, 1), 4);
    }

private:
    // Room for the focus ring.
    static constexpr int margin = Controls::focusRingWidth;
    QString m_symbolName;
};

class Divider final : public QFrame {
public:
    explicit Divider(QWidget* parent)
        : QFrame(parent)
    {
        setObjectName(QStringLiteral("divider"));
        setFrameShape(QFrame::NoFrame);
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Style::color(Style::Color::separator, this));
    }
};

} // namespace

QLabel* Controls::symbolLabel(const QString& symbolName, int pixelSize, const QColor& tint, QWidget* parent)
{
    return new SymbolLabel(symbolName, pixelSize, tint, false, parent);
}

QLabel* Controls::symbolLabel(const QString& symbolName, int pixelSize, Style::Color tint, QWidget* parent)
{
    return new SymbolLabel(symbolName, pixelSize, tint, false, parent);
}

QLabel* Controls::gradientSymbolLabel(const QString& symbolName, int pixelSize, QWidget* parent)
{
    return new SymbolLabel(symbolName, pixelSize, Style::Color::blue, true, parent);
}

QWidget* Controls::label(const QString& symbolName, QLabel* text, Style::Color color, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    const int symbolSize = QFontInfo(text->font()).pixelSize() + 2;
    layout->addWidget(symbolLabel(symbolName, symbolSize, color, row), 0, Qt::AlignVCenter);
    text->setParent(row);
    setTextColor(text, color);
    layout->addWidget(text, 1, Qt::AlignVCenter);
    return row;
}

QString Controls::plainToolTip(const QString& text)
{
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpacePre) : text;
}

QLabel* Controls::textLabel(const QString& text, const QFont& font, Style::Color color, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setFont(font);
    setTextColor(label, color);
    return label;
}

void Controls::setTextColor(QWidget* widget, Style::Color color)
{
    TextColorKeeper* keeper = TextColorKeeper::of(widget);
    if (!keeper)
        keeper = new TextColorKeeper(widget, color);
    keeper->setColor(color);
}

QPushButton* Controls::prominentButton(const QString& text, ControlSize size, int labelWidth, QWidget* parent)
{
    return new ProminentButton(text, size, labelWidth, parent);
}

QPushButton* Controls::plainButton(QWidget* parent)
{
    return new PlainButton(parent);
}

QPushButton* Controls::plainSymbolButton(const QString& symbolName, int pixelSize, QWidget* parent)
{
    auto* button = new PlainButton(parent);
    button->setSymbol(symbolName, pixelSize);
    button->setObjectName(symbolName);
    return button;
}

QFrame* Controls::divider(QWidget* parent)
{
    return new Divider(parent);
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
