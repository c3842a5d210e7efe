#pragma once

#include "app/editor/DraftSplicer.h"
#include "app/editor/EditorModes.h"
#include "app/look/ColorScheme.h"
#include "store/SignatureFile.h"
#include "store/SignatureStorage.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace veltrin {

class EditorContent;
class EditorFooter;
class EditorHeader;
class RunningApplications;
class SaveToastView;

// Edits one signature file: loads its header block and HTML, shows the HTML as a preview
// or as code, and saves the edited HTML back behind the kept header block.
class SignatureEditorDetailView final : public QWidget {
    Q_OBJECT

public:
    using ViewMode = veltrin::ViewMode;
    using PreviewTheme = veltrin::PreviewTheme;

    struct State {
        QString header;
        QString originalBody;
        QString htmlDraft;
        ViewMode viewMode = ViewMode::view;
        PreviewTheme previewTheme = PreviewTheme::system;
        bool showingSaveConfirmation = false;
        bool showingSaveToast = false;
        std::optional<QString> saveError;
        bool isLoading = true;
        // True only while the texts above came from the file now edited. A failed load
        // empties them, and nothing can be saved until a load succeeds.
        bool contentMatchesSignature = false;
        // Why the last save left the file unlocked; absent after a locked save and after a load.
        std::optional<QString> notLockedReason;
    };

    struct ErrorLine {
        QString message;
        bool dismissible = false;
        friend bool operator==(const ErrorLine&, const ErrorLine&) = default;
    };

    static constexpr int defaultToastDuration = 2000;
    // Software OpenGL (Mesa's llvmpipe) compiles code for drawing the web view once more after
    // the window has composed it a few times: 16-17 ms on the main thread, the first time on a
    // machine. The second hidden page, this long after the first has loaded, has that done
    // before the first pick rather than in it.
    static constexpr int warmUpPageDelay = 250;

    // Equal up to canonical equivalence counts as unchanged.
    static bool hasUnsavedChanges(const State& state);
    static bool saveEnabled(const State& state);
    static std::optional<ErrorLine> errorLine(const SignatureFile& signature, const State& state);
    // The load's steps after the file was read.
    static void applyLoadResult(State& state, const std::expected<SignatureContent, Error>& result);
    // The save's state changes; true when the save succeeded.
    static bool applySaveResult(State& state, const std::expected<SaveResult, Error>& result);
    // The footer's sentence after a save that could not lock the file.
    static QString notLockedSentence(const QString& reason);

    // Both must outlive the editor; it loads and saves through `storage`.
    SignatureEditorDetailView(
        RunningApplications& runningApplications, const SignatureStorage& storage, QWidget* parent = nullptr);
    ~SignatureEditorDetailView() override;
    Q_DISABLE_COPY_MOVE(SignatureEditorDetailView)

    // Loads the file when the id differs from the one edited and the editor is on screen.
    void setSignature(const SignatureFile& signature);
    // Before the first signature: shows the preview with a page that lays out text nobody sees,
    // so that the web engine has started that page and loaded its fonts by the time a signature
    // comes. A moment after that page has loaded, it shows a second one (see warmUpPageDelay).
    void preparePreview();
    const SignatureFile& signature() const { return m_signature; }
    void setOnSaved(std::function<void()> onSaved) { m_onSaved = std::move(onSaved); }
    // How long the toast stays; tests shorten it.
    void setToastDuration(int milliseconds) { m_toastDuration = milliseconds; }

    const State& state() const { return m_state; }
    bool isMailRunning() const;
    ColorScheme systemColorScheme() const { return m_systemColorScheme; }
    ColorScheme effectiveColorScheme() const;

    void loadSignature();
    // What "Save to Mail" does; other roads to the save (the menu, Ctrl+S) call it too.
    void saveTapped();
    // Whether "Save to Mail" is enabled now.
    bool canSave() const;
    // True when the file was written.
    bool performSave();
    void dismissError();
    void chooseTheme(PreviewTheme theme);
    void setViewMode(ViewMode mode);

    QMessageBox* saveConfirmation() const { return m_confirmation.data(); }

    // Edits that leaving this signature now would drop.
    bool holdsUnsavedChanges() const;
    // Asks whether to save, discard or keep unsaved edits before the editor leaves the signature.
    // `done(true)`: saved or discarded, go on; `done(false)`: the user stays, or the save failed.
    // Without unsaved edits `done(true)` runs at once.
    void askBeforeLeaving(std::function<void(bool leave)> done);
    QMessageBox* leaveQuestion() const { return m_leaveQuestion.data(); }

Q_SIGNALS:
    void canSaveChanged(bool canSave);

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void render();
    void openSaveConfirmation(std::function<void(bool saved)> then);
    void saveThen(std::function<void(bool saved)> then);
    void setToastShown(bool shown);
    void draftEdited(const DraftSplicer::Splice& splice);

    RunningApplications& m_runningApplications;
    const SignatureStorage& m_storage;
    SignatureFile m_signature;
    std::function<void()> m_onSaved;
    State m_state;
    ColorScheme m_systemColorScheme = ColorScheme::light;
    int m_toastDuration = defaultToastDuration;
    // The code editor shows the draft of the last load; edits flow from it, never back.
    bool m_codeEditorStale = true;
    // Nothing is loaded on screen until a signature has been given.
    bool m_hasSignature = false;
    // Which hidden page preparePreview() has shown: none (0), the first or the second.
    int m_warmUpPage = 0;

    EditorHeader* m_header = nullptr;
    EditorContent* m_content = nullptr;
    EditorFooter* m_footer = nullptr;
    SaveToastView* m_toast = nullptr;
    QPointer<QMessageBox> m_confirmation;
    QPointer<QMessageBox> m_leaveQuestion;
};

} // namespace veltrin
