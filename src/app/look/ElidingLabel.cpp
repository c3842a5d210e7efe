#include "app/look/ElidingLabel.h"

#include "app/look/Controls.h"

#include <QEvent>
#include <QFontMetrics>

namespace veltrin {

ElidingLabel::ElidingLabel(Qt::TextElideMode mode, QWidget* parent)
    : QLabel(parent)
    , m_mode(mode)
{
    // Takes its full width when there is room, and shrinks (shortening the text) when there is not.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setTextFormat(Qt::PlainText);
}

void ElidingLabel::setFullText(const QString& text)
{
    if (text == m_fullText)
        return;
    m_fullText = text;
    setToolTip(Controls::plainToolTip(text));
    // Read out whole, not as the shortened text on screen.
    setAccessibleName(text);
    updateShownText();
    updateGeometry();
}

QSize ElidingLabel::sizeHint() const
{
    const QFontMetrics metrics(font());
    // Room for underscores, which some fonts draw below the descent.
    return {metrics.horizontalAdvance(m_fullText) + 2, metrics.lineSpacing() + 2};
}

QSize ElidingLabel::minimumSizeHint() const
{
    return {0, QFontMetrics(font()).lineSpacing() + 2};
}

void ElidingLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    updateShownText();
}

void ElidingLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateShownText();
}

void ElidingLabel::updateShownText()
{
    // Line breaks would make a second line; the one-line form shows them as spaces.
    QString oneLine = m_fullText;
    oneLine.replace(u'\n', u' ');
    setText(QFontMetrics(font()).elidedText(oneLine, m_mode, qMax(0, width())));
}

} // namespace veltrin
