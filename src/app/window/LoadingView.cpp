#include "app/window/LoadingView.h"

#include "app/look/Controls.h"
#include "app/look/Style.h"

#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

namespace veltrin {

namespace {

// The desktop's indeterminate spinner: twelve spokes fading around a circle.
class Spinner final : public QWidget {
public:
    Spinner(int diameter, QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(diameter, diameter);
        setObjectName(QStringLiteral("progress"));
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_phase = (m_phase + 1) % spokes;
            update();
        });
        m_timer.start(80);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor ink = Style::color(Style::Color::primary, this);
        const qreal radius = width() / 2.0;
        painter.translate(radius, radius);
        QPen pen(ink);
        pen.setWidthF(radius / 5.5);
        pen.setCapStyle(Qt::RoundCap);
        for (int i = 0; i < spokes; ++i) {
            QColor spoke = ink;
            const int age = (m_phase - i + spokes) % spokes;
            spoke.setAlphaF(float(ink.alphaF() * (1.0 - age / qreal(spokes)) * 0.9 + 0.1));
            pen.setColor(spoke);
            painter.setPen(pen);
            painter.save();
            painter.rotate(i * 360.0 / spokes);
            painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.85));
            painter.restore();
        }
    }

private:
    static constexpr int spokes = 12;
    QTimer m_timer;
    int m_phase = 0;
};

// The platform's regular spinner is 32 across; the view shows it scaled by 1.2.
constexpr int spinnerDiameter = 38;

} // namespace

LoadingView::LoadingView(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(20);
    layout->addStretch(1);
    layout->addWidget(new Spinner(spinnerDiameter, this), 0, Qt::AlignHCenter);
    auto* text = Controls::textLabel(
        tr("Scanning for signatures..."), Style::font(Style::TextStyle::body), Style::Color::secondary, this);
    text->setAlignment(Qt::AlignCenter);
    layout->addWidget(text, 0, Qt::AlignHCenter);
    // Nothing here can be used; focus rests on the text so that it is read out.
    setFocusProxy(text);
    layout->addStretch(1);
}

LoadingView::~LoadingView() = default;

} // namespace veltrin
