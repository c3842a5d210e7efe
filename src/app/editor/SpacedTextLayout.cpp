#include "app/editor/SpacedTextLayout.h"

#include <QTextBlock>
#include <QTextLayout>

namespace veltrin {

SpacedTextLayout::SpacedTextLayout(QTextDocument* document, qreal lineSpacing)
    : QPlainTextDocumentLayout(document)
    , m_lineSpacing(lineSpacing)
{
}

QRectF SpacedTextLayout::blockBoundingRect(const QTextBlock& block) const
{
    // Lays the block out when it has no lines yet.
    QRectF rect = QPlainTextDocumentLayout::blockBoundingRect(block);
    QTextLayout* layout = block.isValid() ? block.layout() : nullptr;
    if (!layout || layout->lineCount() == 0 || !block.isVisible())
        return rect;
    // Every line the base layout placed sits right below the one before; a block it has not laid
    // out again since keeps the gaps set here.
    qreal y = layout->lineAt(0).y();
    bool moved = false;
    for (int i = 0; i < layout->lineCount(); ++i) {
        QTextLine line = layout->lineAt(i);
        if (line.y() != y) {
            line.setPosition(QPointF(line.x(), y));
            moved = true;
        }
        y += line.height() + m_lineSpacing;
    }
    if (moved)
        rect = QPlainTextDocumentLayout::blockBoundingRect(block);
    rect.setHeight(rect.height() + m_lineSpacing);
    return rect;
}

} // namespace veltrin
