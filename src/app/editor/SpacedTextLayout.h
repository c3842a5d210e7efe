#pragma once

#include <QPlainTextDocumentLayout>

namespace veltrin {

// The plain text layout with a fixed gap below every line. QPlainTextDocumentLayout ignores the
// block format's line height, so the lines are moved apart after it has laid out a block.
class SpacedTextLayout final : public QPlainTextDocumentLayout {
    Q_OBJECT

public:
    SpacedTextLayout(QTextDocument* document, qreal lineSpacing);
    Q_DISABLE_COPY_MOVE(SpacedTextLayout)

    qreal lineSpacing() const { return m_lineSpacing; }
    QRectF blockBoundingRect(const QTextBlock& block) const override;

private:
    qreal m_lineSpacing;
};

} // namespace veltrin
