#include "app/look/FocusRing.h"

#include "app/look/Controls.h"
#include "app/look/Style.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPainter>
#include <QPen>
#include <QPointer>

namespace veltrin {

namespace {

enum class Input { none, keyboard, pointer };

// Sees every key and button press before its receiver does, so that the focus it causes
// already knows where it came from.
class InputFollower final : public QObject {
public:
    using QObject::QObject;
    Input last = Input::none;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::ShortcutOverride:
            last = Input::keyboard;
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::TouchBegin:
        case QEvent::TabletPress:
            last = Input::pointer;
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }
};

QPointer<InputFollower>& follower()
{
    static QPointer<InputFollower> instance;
    return instance;
}

} // namespace

void FocusRing::followInput()
{
    if (follower() || !QCoreApplication::instance())
        return;
    follower() = new InputFollower(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(follower());
}

bool FocusRing::showsFor(Qt::FocusReason reason)
{
    const Input last = follower() ? follower()->last : Input::none;
    switch (reason) {
    case Qt::MouseFocusReason:
        return false;
    // Tab keys, or a program moving focus on as they would (a button that became disabled).
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
        return last != Input::pointer;
    // Focus handed over by a view, a closing popup or a window coming back.
    default:
        return last == Input::keyboard;
    }
}

void FocusRing::paint(QPainter& painter, const QWidget& widget, const QRectF& body, qreal radius)
{
    QColor ring = Style::color(Style::Color::blue, &widget);
    ring.setAlphaF(0.55f);
    const qreal inset = Controls::focusRingWidth / 2.0;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(ring, Controls::focusRingWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(body.adjusted(-inset, -inset, inset, inset), radius + inset, radius + inset);
    painter.restore();
}

} // namespace veltrin
