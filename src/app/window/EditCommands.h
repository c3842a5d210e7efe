#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>

class QAction;
class QMenu;
class QWidget;

namespace veltrin {

// The Edit menu's Undo, Redo, Cut, Copy, Paste and Select All. Each acts on the widget that has
// the keyboard focus (or the nearest of its parents that offers the same slot, as a web view's
// inner widget has none) and is disabled where it cannot act there.
class EditCommands final : public QObject {
    Q_OBJECT

public:
    // Adds the actions to menu; they act only while the focus is inside window.
    EditCommands(QWidget& window, QMenu& menu);
    ~EditCommands() override;
    Q_DISABLE_COPY_MOVE(EditCommands)

    QAction* undoAction() const { return m_undo; }
    QAction* redoAction() const { return m_redo; }
    QAction* cutAction() const { return m_cut; }
    QAction* copyAction() const { return m_copy; }
    QAction* pasteAction() const { return m_paste; }
    QAction* selectAllAction() const { return m_selectAll; }

    // Enables each action by what the focused widget allows now.
    void updateActions();

private:
    void focusChanged(QWidget* now);
    QWidget* target(const char* slot) const;
    void invoke(const char* slot);

    QWidget& m_window;
    QPointer<QWidget> m_focus;
    QList<QMetaObject::Connection> m_focusConnections;
    QAction* m_undo = nullptr;
    QAction* m_redo = nullptr;
    QAction* m_cut = nullptr;
    QAction* m_copy = nullptr;
    QAction* m_paste = nullptr;
    QAction* m_selectAll = nullptr;
};

} // namespace veltrin
