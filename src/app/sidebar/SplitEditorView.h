#pragma once

#include "store/SignatureFile.h"

#include <QList>
#include <QWidget>

class QListView;
class QSplitter;
class QStackedWidget;

#include <functional>
#include <optional>

namespace veltrin {

class RunningApplications;
class SignatureStorage;
class SignatureEditorDetailView;
class SignatureListModel;

// The list state of the window: the sidebar of signatures and the editor of the selected one.
// The selection belongs to the owner: a picked row is announced by selectedSignatureChanged(),
// and the owner hands the selection back with setSelectedSignature(). Every change of the
// selection, by mouse, keyboard or owner, goes through changeSelection().
class SplitEditorView final : public QWidget {
    Q_OBJECT

public:
    // Both must outlive the view; the editor reads and saves through `storage`.
    SplitEditorView(RunningApplications& runningApplications, const SignatureStorage& storage, QWidget* parent = nullptr);
    ~SplitEditorView() override;
    Q_DISABLE_COPY_MOVE(SplitEditorView)

    void setSignatures(const QList<SignatureFile>& signatures);
    void setSelectedSignature(const std::optional<SignatureFile>& signature);
    std::optional<SignatureFile> selectedSignature() const { return m_selectedSignature; }
    void setOnRescan(std::function<void()> onRescan) { m_onRescan = std::move(onRescan); }
    void setOnSaved(std::function<void()> onSaved) { m_onSaved = std::move(onSaved); }

    // Edits in the editor that leaving the selected signature would drop.
    bool holdsUnsavedChanges() const;
    // The editor's question before it is left: `done(true)` when it may go.
    void askBeforeLeaving(std::function<void(bool leave)> done);

    // The editor's "Save to Mail", for the window's other roads to it.
    bool canSave() const;
    void saveTapped();

Q_SIGNALS:
    void canSaveChanged(bool canSave);
    // The user picked a row; not emitted by setSelectedSignature().
    void selectedSignatureChanged(const std::optional<veltrin::SignatureFile>& signature);

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class SelectionOrigin { user, owner };

    // The one place where the selection changes: it stores the value, shows its row (or none)
    // and the detail, and announces the user's picks. A caller that refuses a change calls
    // showListSelection() to bring the list back to the kept selection. A user's pick that
    // would leave unsaved edits waits for the editor's question.
    void changeSelection(const std::optional<SignatureFile>& signature, SelectionOrigin origin);
    void applySelection(const std::optional<SignatureFile>& signature, SelectionOrigin origin);
    void applyColours();
    void buildSidebar(QWidget* sidebar);
    void buildDetail();
    void showListSelection();
    void showDetail();
    // Makes the first editor before a signature is picked, so that its preview starts while
    // the user looks at the list; see the definition.
    void prepareEditor();
    void rowSelectionChanged();

    RunningApplications& m_runningApplications;
    const SignatureStorage& m_storage;
    std::optional<SignatureFile> m_selectedSignature;
    std::function<void()> m_onRescan;
    std::function<void()> m_onSaved;

    QSplitter* m_splitter = nullptr;
    QStackedWidget* m_sidebarContent = nullptr;
    QWidget* m_emptyPlaceholder = nullptr;
    SignatureListModel* m_model = nullptr;
    QListView* m_list = nullptr;
    QStackedWidget* m_detail = nullptr;
    QWidget* m_noSelectionPlaceholder = nullptr;
    // Set at the first selection (to the prepared editor when there is one) and kept while one is
    // shown; it follows the selection.
    SignatureEditorDetailView* m_editor = nullptr;
    // The editor made ahead for the first selection, until it is taken.
    SignatureEditorDetailView* m_preparedEditor = nullptr;
    bool m_preparationScheduled = false;
    bool m_updatingList = false;
};

} // namespace veltrin
