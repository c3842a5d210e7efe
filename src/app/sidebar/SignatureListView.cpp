#include "app/sidebar/SignatureListView.h"

#include <QKeyEvent>

namespace veltrin {

SignatureListView::SignatureListView(QWidget* parent)
    : QListView(parent)
{
}

void SignatureListView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Down && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier
        && model() && model()->rowCount(rootIndex()) > 0 && !selectionModel()->hasSelection()) {
        const QModelIndex first = model()->index(0, 0, rootIndex());
        selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect);
        scrollTo(first);
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

} // namespace veltrin
