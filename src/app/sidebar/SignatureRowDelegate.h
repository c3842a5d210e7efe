#pragma once

#include "app/sidebar/SignatureRow.h"

#include <QStyledItemDelegate>

namespace veltrin {

// Paints a SignatureListModel row as SignatureRow lays it out, in the colours of the view's
// current appearance. A shortened name or address shows whole in the row's tooltip.
class SignatureRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit SignatureRowDelegate(QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(SignatureRowDelegate)

    static constexpr int horizontalInset = 8;

    // Reads the texts once; the file's age and size come from the model afresh.
    static SignatureRow::Layout layout(const QStyleOptionViewItem& option, const QModelIndex& index);

    void paint(
        QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
        const QModelIndex& index) override;

private:
    static int rowWidth(const QStyleOptionViewItem& option);
};

} // namespace veltrin
