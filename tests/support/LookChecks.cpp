#include "LookChecks.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QTextDocument>
#include <QToolTip>

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

QString hoverToolTip(QWidget& widget, const QPoint& pos)
{
    QToolTip::hideText();
    QHelpEvent event(QEvent::ToolTip, pos, widget.mapToGlobal(pos));
    QCoreApplication::sendEvent(&widget, &event);
    const QList<QWidget*> windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        auto* tip = qobject_cast<QLabel*>(window);
        if (!tip || tip->objectName() != u"qtooltip_label" || !tip->isVisible())
            continue;
        // Read the way the tooltip's label reads it.
        QString text = tip->text();
        const bool markup = tip->textFormat() == Qt::RichText
            || (tip->textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
        if (!markup)
            return text;
        QTextDocument document;
        document.setHtml(text);
        return document.toPlainText();
    }
    return {};
}

} // namespace veltrin::test
