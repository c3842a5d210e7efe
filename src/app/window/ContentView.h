#pragma once

#include "app/onboarding/OnboardingView.h"
#include "app/sidebar/SplitEditorView.h"
#include "app/window/AppState.h"
#include "app/window/EmptyStateView.h"
#include "app/window/LoadingView.h"
#include "store/SignatureFile.h"

#include <QList>
#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <optional>

class QVBoxLayout;

namespace veltrin {

class FileAttributes;
class FileOperations;
class FolderAccess;
class FolderPanel;
class Preferences;
class RunningApplications;
class SignatureService;

// The window's root: owns the window's SignatureService, turns what it reports into the
// window's state and shows the one child view of that state.
class ContentView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int minimumWidth = 900;
    static constexpr int minimumHeight = 600;

    // The services must outlive this view.
    ContentView(Preferences& preferences, FolderAccess& folderAccess, FolderPanel& folderPanel,
        RunningApplications& runningApplications, FileAttributes& fileAttributes, FileOperations& files,
        const QString& homeFolder, QWidget* parent = nullptr);
    ~ContentView() override;
    Q_DISABLE_COPY_MOVE(ContentView)

    AppState appState() const { return m_appState; }
    const std::optional<SignatureFile>& selectedSignature() const { return m_selectedSignature; }
    SignatureService& service() { return *m_service; }

    void handleAppear();
    // Full load: shows the loading state and recomputes the state after the recomputation delay.
    // Unsaved edits in the editor are asked about first; the load waits for the answer.
    void loadSignatures();
    // Rescan after a save: the state is left as it is.
    void reloadSignatures();
    void updateAppState();

    // Edits in the editor that leaving it now would drop.
    bool holdsUnsavedChanges() const;
    // The editor's question before it is left; `done(true)` at once without unsaved edits.
    void askBeforeLeaving(std::function<void(bool leave)> done);

    // The shown editor's "Save to Mail": whether it is enabled, and pressing it.
    bool canSave() const;
    void saveTapped();

    // 500 ms in the application; tests shorten it.
    void setRecomputationDelay(int milliseconds) { m_recomputationDelay = milliseconds; }
    int recomputationDelay() const { return m_recomputationDelay; }
    // Runs the action after the delay; a timer unless tests take over the clock.
    using Scheduler = std::function<void(int milliseconds, std::function<void()> action)>;
    void setScheduler(Scheduler scheduler) { m_scheduler = std::move(scheduler); }

    // The child shown for the current state; the others are null.
    LoadingView* loadingView() const { return m_loadingView; }
    OnboardingView* onboardingView() const { return m_onboardingView; }
    EmptyStateView* emptyStateView() const { return m_emptyStateView; }
    SplitEditorView* splitEditorView() const { return m_splitEditorView; }
    QWidget* currentChild() const { return m_child; }

Q_SIGNALS:
    void appStateChanged(veltrin::AppState state);
    void canSaveChanged(bool canSave);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setAppState(AppState state);
    void startLoad();
    void restoreOrRequestAccess();
    void scheduleViewUpdate();
    void updateView();
    void showChild();

    RunningApplications& m_runningApplications;
    SignatureService* m_service = nullptr;
    AppState m_appState = AppState::onboarding;
    std::optional<SignatureFile> m_selectedSignature;
    int m_recomputationDelay = 500;
    Scheduler m_scheduler;

    // The list as the last view update saw it, by id.
    QList<QUuid> m_seenSignatureIds;
    bool m_viewUpdatePending = false;

    QVBoxLayout* m_layout = nullptr;
    QPointer<QWidget> m_child;
    QPointer<LoadingView> m_loadingView;
    QPointer<OnboardingView> m_onboardingView;
    QPointer<EmptyStateView> m_emptyStateView;
    QPointer<SplitEditorView> m_splitEditorView;
};

} // namespace veltrin
