#pragma once

#include "app/look/ColorScheme.h"
#include "app/editor/EditorModes.h"
#include "store/SignatureFile.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <expected>
#include <functional>
#include <optional>
#include <utility>

class QAbstractButton;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QToolButton;

namespace veltrin {

class ElidingLabel;
class PreviewView;
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
        // leaves the previous file's texts behind, and they must never be saved into this one.
        bool contentMatchesSignature = false;
    };

    struct ErrorLine {
        QString message;
        bool dismissible = false;
        friend bool operator==(const ErrorLine&, const ErrorLine&) = default;
    };

    static constexpr int defaultToastDuration = 2000;

    // Equal up to canonical equivalence counts as unchanged.
    static bool hasUnsavedChanges(const State& state);
    static bool saveEnabled(const State& state);
    static std::optional<ErrorLine> errorLine(const SignatureFile& signature, const State& state);
    // The load's steps after the file was read.
    static void applyLoadResult(State& state, const std::expected<SignatureContent, Error>& result);
    // The save's state changes; true when the save succeeded.
    static bool applySaveResult(State& state, const std::expected<void, Error>& result);

    explicit SignatureEditorDetailView(RunningApplications& runningApplications, QWidget* parent = nullptr);
    ~SignatureEditorDetailView() override;
    Q_DISABLE_COPY_MOVE(SignatureEditorDetailView)

    // Loads the file when the id differs from the one edited and the editor is on screen.
    void setSignature(const SignatureFile& signature);
    const SignatureFile& signature() const { return m_signature; }
    void setOnSaved(std::function<void()> onSaved) { m_onSaved = std::move(onSaved); }
    // How long the toast stays; tests shorten it.
    void setToastDuration(int milliseconds) { m_toastDuration = milliseconds; }

    const State& state() const { return m_state; }
    bool isMailRunning() const;
    ColorScheme systemColorScheme() const { return m_systemColorScheme; }
    ColorScheme effectiveColorScheme() const;

    void loadSignature();
    void saveTapped();
    void performSave();
    void dismissError();
    void chooseTheme(PreviewTheme theme);
    void setViewMode(ViewMode mode);

    QMessageBox* saveConfirmation() const { return m_confirmation.data(); }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildHeader(QWidget* header);
    void buildContent();
    void buildFooter(QWidget* footer);
    void render();
    void renderColours();
    void renderThemeMenu();
    void openSaveConfirmation();
    void setToastShown(bool shown);
    void codeEdited();

    RunningApplications& m_runningApplications;
    SignatureFile m_signature;
    std::function<void()> m_onSaved;
    State m_state;
    ColorScheme m_systemColorScheme = ColorScheme::light;
    int m_toastDuration = defaultToastDuration;

    // What the widgets show, so that a render touches only what changed.
    bool m_codeEditorStale = true;
    bool m_previewShown = false;
    bool m_updatingCodeEditor = false;
    bool m_draftUsesCrLf = false;
    // The window's and the content's appearance the colours were last set for.
    std::optional<std::pair<bool, bool>> m_coloursApplied;
    std::optional<PreviewTheme> m_menuTheme;

    QLabel* m_nameLabel = nullptr;
    ElidingLabel* m_pathLabel = nullptr;
    QAbstractButton* m_previewButton = nullptr;
    QAbstractButton* m_codeButton = nullptr;
    QWidget* m_errorLine = nullptr;
    QLabel* m_errorIcon = nullptr;
    ElidingLabel* m_errorText = nullptr;
    QPushButton* m_dismissButton = nullptr;
    QStackedWidget* m_themeControl = nullptr;
    QToolButton* m_themeButton = nullptr;
    QMenu* m_themeMenu = nullptr;
    QWidget* m_themeBlank = nullptr;
    QStackedWidget* m_content = nullptr;
    QWidget* m_loadingPage = nullptr;
    QLabel* m_loadingText = nullptr;
    QWidget* m_previewPage = nullptr;
    QWidget* m_previewBackground = nullptr;
    PreviewView* m_preview = nullptr;
    QWidget* m_codePage = nullptr;
    QPlainTextEdit* m_codeEditor = nullptr;
    QWidget* m_mailWarning = nullptr;
    QLabel* m_mailWarningIcon = nullptr;
    QLabel* m_mailWarningText = nullptr;
    QWidget* m_unsavedIndicator = nullptr;
    QWidget* m_unsavedDot = nullptr;
    QLabel* m_unsavedText = nullptr;
    QPushButton* m_saveButton = nullptr;
    SaveToastView* m_toast = nullptr;
    QPointer<QMessageBox> m_confirmation;
};

} // namespace veltrin
