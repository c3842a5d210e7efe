#include "app/editor/CodeEditor.h"

#include "app/editor/SpacedTextLayout.h"
#include "app/look/Style.h"

#include <QKeyEvent>
#include <QTextCursor>
#include <QTextDocument>

namespace veltrin {

CodeEditor::CodeEditor(QWidget* parent)
    : QPlainTextEdit(parent)
{
    auto* document = new QTextDocument(this);
    document->setDocumentLayout(new SpacedTextLayout(document, lineSpacing));
    setDocument(document);
    setFrameShape(QFrame::NoFrame);
    QFont font = Style::monospacedFont(Style::font(Style::TextStyle::body).pixelSize());
    // Markup needs no ligatures or kerning, and skipping the shaper halves the layout of long lines.
    font.setStyleStrategy(QFont::PreferNoShaping);
    setFont(font);
    document->setDefaultFont(font);
    setTabChangesFocus(false);
    // Tab stays in the code, so a screen reader must say how to leave.
    setAccessibleDescription(
        tr("Tab types a tab character; Ctrl+Tab moves focus on, Ctrl+Shift+Tab moves it back."));
    setAutoFillBackground(true);
    connect(document, &QTextDocument::contentsChange, this, &CodeEditor::contentsChanged);
}

void CodeEditor::showDraft(const QString& draft)
{
    m_showing = true;
    m_splicer.reset(draft);
    setPlainText(draft);
    document()->clearUndoRedoStacks();
    moveCursor(QTextCursor::Start);
    m_showing = false;
}

void CodeEditor::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers().testFlag(Qt::ControlModifier)
        && (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)) {
        const bool backwards
            = event->key() == Qt::Key_Backtab || event->modifiers().testFlag(Qt::ShiftModifier);
        // The text edit's own refuses while Tab types a character.
        QWidget::focusNextPrevChild(!backwards); // NOLINT(bugprone-parent-virtual-call)
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void CodeEditor::contentsChanged(int position, int removed, int added)
{
    if (m_showing)
        return;
    // The document reports its final block's separator too; that one is never part of the text.
    const int end = qMin(position + added, document()->characterCount() - 1);
    QString text;
    text.reserve(qMax(0, end - position));
    for (int at = position; at < end; ++at)
        text += document()->characterAt(at);
    const int shownEnd = int(m_splicer.shown().size());
    const DraftSplicer::Splice splice = m_splicer.apply(position, qMin(removed, shownEnd - position), text);
    if (splice.removed > 0 || !splice.inserted.isEmpty())
        Q_EMIT draftEdited(splice);
}

} // namespace veltrin
