#pragma once

#include <QWidget>

class QVariantAnimation;

namespace veltrin {

// "Signature saved", floating over the top of the editor. Slides in from the top edge while
// fading in, and leaves the same way.
class SaveToastView final : public QWidget {
    Q_OBJECT

public:
    explicit SaveToastView(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(SaveToastView)

    // Slides in, and tells a screen reader "Signature saved" (also when already shown).
    void present();
    void dismiss();
    // Places the toast centred, its box the given distance below the parent's top edge.
    void placeIn(const QRect& parentRect, int topInset);
    // 0 when out of sight, 1 when fully in.
    qreal progress() const { return m_progress; }
    static QString text();

    QSize sizeHint() const override;

Q_SIGNALS:
    // The alert went out to screen readers.
    void announced();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void animateTo(qreal target);
    void updatePosition();

    QVariantAnimation* m_animation;
    qreal m_progress = 0;
    QRect m_parentRect;
    int m_topInset = 0;
};

} // namespace veltrin
