#include "app/window/EditCommands.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace veltrin {

namespace {

bool hasSlot(const QObject* object, const char* slot)
{
    return object->metaObject()->indexOfMethod(QMetaObject::normalizedSignature(slot).constData()) >= 0;
}

bool clipboardHasText()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasText();
}

struct TextState {
    bool readOnly = false;
    bool hasSelection = false;
    bool undo = false;
    bool redo = false;
};

std::optional<TextState> textState(const QWidget* widget)
{
    if (const auto* line = qobject_cast<const QLineEdit*>(widget))
        return TextState { line->isReadOnly(), line->hasSelectedText(), line->isUndoAvailable(),
            line->isRedoAvailable() };
    if (const auto* plain = qobject_cast<const QPlainTextEdit*>(widget))
        return TextState { plain->isReadOnly(), plain->textCursor().hasSelection(),
            plain->document()->isUndoAvailable(), plain->document()->isRedoAvailable() };
    if (const auto* rich = qobject_cast<const QTextEdit*>(widget))
        return TextState { rich->isReadOnly(), rich->textCursor().hasSelection(),
            rich->document()->isUndoAvailable(), rich->document()->isRedoAvailable() };
    return std::nullopt;
}

} // namespace

EditCommands::EditCommands(QWidget& window, QMenu& menu)
    : QObject(&menu)
    , m_window(window)
{
    const auto add = [this, &menu](const QString& text, QKeySequence::StandardKey key, const char* slot) {
        QAction* action = menu.addAction(text);
        action->setShortcut(key);
        // The text widgets take these keys themselves; the menu item serves the mouse and any
        // widget that leaves the key to the window.
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, slot] { invoke(slot); });
        return action;
    };
    m_undo = add(tr("Undo"), QKeySequence::Undo, "undo()");
    m_redo = add(tr("Redo"), QKeySequence::Redo, "redo()");
    menu.addSeparator();
    m_cut = add(tr("Cut"), QKeySequence::Cut, "cut()");
    m_copy = add(tr("Copy"), QKeySequence::Copy, "copy()");
    m_paste = add(tr("Paste"), QKeySequence::Paste, "paste()");
    m_selectAll = add(tr("Select All"), QKeySequence::SelectAll, "selectAll()");

    connect(&menu, &QMenu::aboutToShow, this, &EditCommands::updateActions);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { focusChanged(now); });
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &EditCommands::updateActions);
    focusChanged(QApplication::focusWidget());
}

EditCommands::~EditCommands()
{
    for (const QMetaObject::Connection& connection : std::as_const(m_focusConnections))
        disconnect(connection);
}

void EditCommands::focusChanged(QWidget* now)
{
    for (const QMetaObject::Connection& connection : std::as_const(m_focusConnections))
        disconnect(connection);
    m_focusConnections.clear();
    // Focus moving into the menu itself keeps the widget it came from as the target.
    if (now && now->window() != &m_window)
        now = nullptr;
    if (now || !QApplication::activePopupWidget())
        m_focus = now;

    if (auto* line = qobject_cast<QLineEdit*>(now)) {
        m_focusConnections
            = { connect(line, &QLineEdit::selectionChanged, this, &EditCommands::updateActions),
                  connect(line, &QLineEdit::textChanged, this, &EditCommands::updateActions) };
    } else if (auto* plain = qobject_cast<QPlainTextEdit*>(now)) {
        m_focusConnections
            = { connect(plain, &QPlainTextEdit::copyAvailable, this, &EditCommands::updateActions),
                  connect(plain, &QPlainTextEdit::undoAvailable, this, &EditCommands::updateActions),
                  connect(plain, &QPlainTextEdit::redoAvailable, this, &EditCommands::updateActions) };
    } else if (auto* rich = qobject_cast<QTextEdit*>(now)) {
        m_focusConnections = { connect(rich, &QTextEdit::copyAvailable, this, &EditCommands::updateActions),
            connect(rich, &QTextEdit::undoAvailable, this, &EditCommands::updateActions),
            connect(rich, &QTextEdit::redoAvailable, this, &EditCommands::updateActions) };
    }
    updateActions();
}

QWidget* EditCommands::target(const char* slot) const
{
    for (QWidget* widget = m_focus; widget; widget = widget->parentWidget()) {
        if (hasSlot(widget, slot))
            return widget;
        if (widget->isWindow())
            break;
    }
    return nullptr;
}

void EditCommands::updateActions()
{
    if (const std::optional<TextState> text = m_focus ? textState(m_focus) : std::nullopt) {
        m_undo->setEnabled(!text->readOnly && text->undo);
        m_redo->setEnabled(!text->readOnly && text->redo);
        m_cut->setEnabled(!text->readOnly && text->hasSelection);
        m_copy->setEnabled(text->hasSelection);
        m_paste->setEnabled(!text->readOnly && clipboardHasText());
        m_selectAll->setEnabled(true);
        return;
    }
    // Other widgets cannot tell what they would do; offer what they have slots for.
    m_undo->setEnabled(target("undo()"));
    m_redo->setEnabled(target("redo()"));
    m_cut->setEnabled(target("cut()"));
    m_copy->setEnabled(target("copy()"));
    m_paste->setEnabled(target("paste()") && clipboardHasText());
    m_selectAll->setEnabled(target("selectAll()"));
}

void EditCommands::invoke(const char* slot)
{
    QWidget* widget = target(slot);
    if (!widget)
        return;
    QByteArray name(slot);
    name.chop(2);
    QMetaObject::invokeMethod(widget, name.constData());
    updateActions();
}

} // namespace veltrin
