#include "LookChecks.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>

namespace veltrin::test {

QList<ShownText> shownTexts(const QWidget& view)
{
    QList<ShownText> result;
    const QList<QLabel*> labels = view.findChildren<QLabel*>();
    for (const QLabel* label : labels) {
        if (label->text().isEmpty() || !label->isVisibleTo(&view))
            continue;
        result.append({ label->text(), label->palette().color(label->foregroundRole()).lightness() });
    }
    const QList<QPushButton*> buttons = view.findChildren<QPushButton*>();
    for (const QPushButton* button : buttons) {
        if (!button->isFlat() || button->text().isEmpty() || !button->isVisibleTo(&view))
            continue;
        result.append({ button->text(), button->palette().color(QPalette::ButtonText).lightness() });
    }
    return result;
}

QStringList textsNotSuiting(const QWidget& view, ColorScheme scheme)
{
    QStringList result;
    const QList<ShownText> texts = shownTexts(view);
    for (const ShownText& shown : texts) {
        const bool lightInk = shown.lightness >= 128;
        if (lightInk != (scheme == ColorScheme::dark))
            result.append(shown.text);
    }
    return result;
}

QList<QImage> shownPictures(const QWidget& view)
{
    QList<QImage> result;
    const QList<QLabel*> labels = view.findChildren<QLabel*>();
    for (const QLabel* label : labels)
        if (!label->pixmap().isNull() && label->isVisibleTo(&view))
            result.append(label->pixmap().toImage());
    return result;
}

} // namespace veltrin::test
