#include "app/editor/SaveToastView.h"

#include "app/look/Style.h"
#include "app/look/Symbols.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

namespace veltrin {

namespace {

constexpr int shadowRadius = 4;
constexpr int iconSize = 16;
constexpr int spacing = 8;
constexpr int horizontalInset = 16;
constexpr int verticalInset = 10;
constexpr int cornerRadius = 8;

// Read as an alert, which screen readers speak as soon as it shows.
QAccessibleInterface* toastAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String(SaveToastView::staticMetaObject.className()) && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::AlertMessage);
    return nullptr;
}

} // namespace

SaveToastView::SaveToastView(QWidget* parent)
    : QWidget(parent)
    , m_animation(new QVariantAnimation(this))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFont(Style::font(Style::TextStyle::body));
    static const bool accessibleAsAlert = (QAccessible::installFactory(toastAccessible), true);
    Q_UNUSED(accessibleAsAlert);
    setAccessibleName(text());
    // A spring of 0.3 s response with a little overshoot.
    m_animation->setDuration(350);
    m_animation->setEasingCurve(QEasingCurve(QEasingCurve::OutBack));
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_progress = value.toReal();
        updatePosition();
        update();
    });
    connect(m_animation, &QVariantAnimation::finished, this, [this] {
        if (m_animation->endValue().toReal() == 0)
            hide();
    });
    resize(sizeHint());
    hide();
}

QString SaveToastView::text()
{
    return QCoreApplication::translate("SaveToastView", "Signature saved");
}

QSize SaveToastView::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int contentHeight = qMax(iconSize, metrics.height());
    return { 2 * shadowRadius + 2 * horizontalInset + iconSize + spacing + metrics.horizontalAdvance(text()),
        2 * shadowRadius + 2 * verticalInset + contentHeight };
}

void SaveToastView::present()
{
    resize(sizeHint());
    show();
    raise();
    QAccessibleEvent announcement(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&announcement);
    Q_EMIT announced();
    animateTo(1);
}

void SaveToastView::dismiss()
{
    if (isHidden())
        return;
    animateTo(0);
}

void SaveToastView::animateTo(qreal target)
{
    const bool underWay
        = m_animation->state() == QAbstractAnimation::Running && m_animation->endValue().toReal() == target;
    if (underWay || (m_animation->state() != QAbstractAnimation::Running && m_progress == target))
        return;
    m_animation->stop();
    m_animation->setEasingCurve(
        QEasingCurve(target > m_progress ? QEasingCurve::OutBack : QEasingCurve::InCubic));
    m_animation->setStartValue(m_progress);
    m_animation->setEndValue(target);
    m_animation->start();
}

void SaveToastView::placeIn(const QRect& parentRect, int topInset)
{
    m_parentRect = parentRect;
    m_topInset = topInset;
    updatePosition();
}

void SaveToastView::updatePosition()
{
    const QSize size = sizeHint();
    const int x = m_parentRect.x() + (m_parentRect.width() - size.width()) / 2;
    // Fully in: the box's top at the inset; out: just above the parent's top edge.
    const int shownY = m_parentRect.y() + m_topInset - shadowRadius;
    const int hiddenY = m_parentRect.y() - size.height();
    setGeometry(x, hiddenY + qRound((shownY - hiddenY) * m_progress), size.width(), size.height());
}

void SaveToastView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(qBound<qreal>(0, m_progress, 1));
    const bool dark = Style::isDark(palette());
    const QRectF box = QRectF(rect()).adjusted(shadowRadius, shadowRadius, -shadowRadius, -shadowRadius);

    // A soft black shadow, 33 % at its strongest, fading out over the radius.
    // Only outside the box, so that the box itself stays see-through.
    QPainterPath shape;
    shape.addRoundedRect(box, cornerRadius, cornerRadius);
    for (int i = shadowRadius; i >= 1; --i) {
        QPainterPath ring;
        ring.addRoundedRect(box.adjusted(-i, -i, i, i), cornerRadius + i, cornerRadius + i);
        painter.fillPath(ring.subtracted(shape),
            QColor(0, 0, 0, int(255 * 0.33 / (shadowRadius + 1) * (shadowRadius + 1 - i) / 2)));
    }
    // The regular material, as translucent as everywhere else: the editor shows through.
    painter.fillPath(shape, Style::color(Style::Color::material, dark));

    const QFontMetrics metrics(font());
    const QRectF content = box.adjusted(horizontalInset, verticalInset, -horizontalInset, -verticalInset);
    const QPixmap icon = Symbols::pixmap(
        QStringLiteral("checkmark.circle.fill"), iconSize, Style::color(Style::Color::green, dark));
    painter.drawPixmap(QPointF(content.left(), content.center().y() - iconSize / 2.0), icon);
    painter.setPen(Style::color(Style::Color::primary, dark));
    painter.drawText(content.adjusted(iconSize + spacing, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, text());
}

} // namespace veltrin
