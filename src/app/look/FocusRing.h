#pragma once

#include <Qt>

class QPainter;
class QRectF;
class QWidget;

namespace veltrin {

// Keyboard focus shows as a ring, and only while the user works with the keyboard. The focus
// reason alone can't tell: a view that gives focus after a change of state does so with
// Qt::OtherFocusReason whether a key or a click led there, so the user's last input decides.
class FocusRing final {
public:
    // Whether focus that arrived for this reason shows its ring.
    static bool showsFor(Qt::FocusReason reason);
    // A ring of Controls::focusRingWidth just outside body, in the accent colour of widget.
    static void paint(QPainter& painter, const QWidget& widget, const QRectF& body, qreal radius);
    // Begins following the user's input; every control that draws the ring calls it when made.
    static void followInput();
};

} // namespace veltrin
