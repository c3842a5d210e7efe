#pragma once

#include "app/editor/DraftSplicer.h"

#include <QPlainTextEdit>

namespace veltrin {

// The code view of the draft: a monospaced plain text editor with a gap of four points between
// lines. It reports each edit as a change of the draft, so that the draft keeps every line
// break the user did not touch. Tab types a tab character; Ctrl+Tab and Ctrl+Shift+Tab move
// focus on, as in other code editors.
class CodeEditor final : public QPlainTextEdit {
    Q_OBJECT

public:
    static constexpr int lineSpacing = 4;

    explicit CodeEditor(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(CodeEditor)

    // Shows the draft from its start, with an empty undo history.
    void showDraft(const QString& draft);

Q_SIGNALS:
    void draftEdited(const veltrin::DraftSplicer::Splice& splice);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void contentsChanged(int position, int removed, int added);

    DraftSplicer m_splicer;
    bool m_showing = false;
};

} // namespace veltrin
