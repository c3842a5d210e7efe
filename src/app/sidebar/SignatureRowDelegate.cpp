#include "app/sidebar/SignatureRowDelegate.h"

#include "app/look/Controls.h"
#include "app/look/Symbols.h"
#include "app/sidebar/SignatureListModel.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

namespace veltrin {

namespace {

constexpr int selectionInset = 4;
constexpr qreal selectionRadius = 5;

// A quiet selection, as sidebars have it, so that the row's dimmer lines stay legible.
QColor selectionFill(bool dark)
{
    return dark ? QColor(255, 255, 255, 36) : QColor(0, 0, 0, 28);
}

SignatureRow::Content contentOf(const QModelIndex& index, bool withFileLine)
{
    SignatureRow::Content content;
    content.displayName = index.data(Qt::DisplayRole).toString();
    content.accountEmails = index.data(SignatureListModel::AccountEmailsRole).toStringList();
    if (withFileLine) {
        content.lastModified = index.data(SignatureListModel::LastModifiedRole).toString();
        content.fileSize = index.data(SignatureListModel::FileSizeRole).toString();
    }
    const QVariant error = index.data(SignatureListModel::ErrorMessageRole);
    if (error.isValid())
        content.errorMessage = error.toString();
    return content;
}

} // namespace

SignatureRowDelegate::SignatureRowDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

// The width the list gives its rows, whatever the option's rect holds while it measures.
int SignatureRowDelegate::rowWidth(const QStyleOptionViewItem& option)
{
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget)) {
        const int spacing = view->property("spacing").toInt();
        return view->viewport()->width() - 2 * spacing;
    }
    return option.rect.width();
}

SignatureRow::Layout SignatureRowDelegate::layout(
    const QStyleOptionViewItem& option, const QModelIndex& index)
{
    return SignatureRow::layout(contentOf(index, true), option.rect.width() - 2 * horizontalInset);
}

void SignatureRowDelegate::paint(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const bool dark = Style::isDark(option.palette);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(option.rect).adjusted(selectionInset, 0.5, -selectionInset, -0.5);
    if (option.state & QStyle::State_Selected) {
        QPainterPath path;
        path.addRoundedRect(box, selectionRadius, selectionRadius);
        painter->fillPath(path, selectionFill(dark));
    } else if (option.state & QStyle::State_HasFocus) {
        // Where the keyboard is, without claiming a selection: a ring, not a fill.
        painter->setPen(QPen(Style::color(Style::Color::blue, dark), 1.5));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(box.adjusted(0.75, 0.75, -0.75, -0.75), selectionRadius, selectionRadius);
    }

    const SignatureRow::Layout rowLayout = layout(option, index);
    const QPoint origin = option.rect.topLeft() + QPoint(horizontalInset, 0);
    for (const SignatureRow::Text& text : rowLayout.texts) {
        painter->setFont(text.font);
        painter->setPen(Style::color(text.color, dark));
        painter->drawText(
            text.rect.translated(origin), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text.text);
    }
    if (!rowLayout.errorSymbol.isEmpty()) {
        const QRect symbol = rowLayout.errorSymbol.translated(origin);
        painter->drawPixmap(symbol,
            Symbols::pixmap(QStringLiteral("exclamationmark.triangle.fill"), SignatureRow::errorSymbolSize,
                Style::color(Style::Color::red, dark)));
    }
    painter->restore();
}

QSize SignatureRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const int width = rowWidth(option);
    // The file line's texts are short and one line high: their height does not need the file.
    const SignatureRow::Layout rowLayout
        = SignatureRow::layout(contentOf(index, false), width - 2 * horizontalInset);
    return { std::max(width, 2 * horizontalInset), rowLayout.height };
}

bool SignatureRowDelegate::helpEvent(
    QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    if (!SignatureRow::layout(contentOf(index, false), option.rect.width() - 2 * horizontalInset).shortened) {
        QToolTip::hideText();
        return true;
    }
    QToolTip::showText(event->globalPos(), Controls::plainToolTip(index.data(Qt::ToolTipRole).toString()),
        view, option.rect);
    return true;
}

} // namespace veltrin
