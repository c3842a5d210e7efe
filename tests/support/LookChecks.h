#pragma once

#include "platform/ColorScheme.h"

#include <QImage>
#include <QList>
#include <QStringList>

class QWidget;

namespace veltrin::test {

// Every text the view shows in a label or a flat (plain) button, with its colour's lightness.
struct ShownText {
    QString text;
    int lightness;
};
QList<ShownText> shownTexts(const QWidget& view);

// The shown texts whose colour does not suit the scheme: dark ink wanted on a light
// appearance, light ink on a dark one.
QStringList textsNotSuiting(const QWidget& view, ColorScheme scheme);

// The pictures of every shown label that holds one (symbols), in a fixed order.
QList<QImage> shownPictures(const QWidget& view);

// Asks the widget for its tooltip at pos, as hovering does, and returns the text the tooltip
// shows as a reader sees it (markup rendered); empty when no tooltip shows.
QString hoverToolTip(QWidget& widget, const QPoint& pos);

} // namespace veltrin::test
