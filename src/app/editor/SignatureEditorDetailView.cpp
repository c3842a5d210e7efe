#include "app/editor/SignatureEditorDetailView.h"

#include "app/editor/CodeEditor.h"
#include "app/editor/EditorContent.h"
#include "app/editor/EditorFooter.h"
#include "app/editor/EditorHeader.h"
#include "app/editor/PreviewView.h"
#include "app/editor/SaveToastView.h"
#include "app/look/Controls.h"
#include "app/look/Style.h"
#include "platform/RunningApplications.h"

#include <QEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace veltrin {

namespace {

const QString mailBundleIdentifier = QStringLiteral("com.apple.mail");
constexpr int toastTopInset = 60;

// Two texts are the same signature HTML when they are canonically equivalent.
bool canonicallyEqual(const QString& a, const QString& b)
{
    if (a == b)
        return true;
    // Only the stretch that differs needs normalising. Cuts go before ASCII characters: no
    // composition or reordering reaches across one, so both sides normalise independently.
    const qsizetype shorter = qMin(a.size(), b.size());
    qsizetype prefix = 0;
    while (prefix < shorter && a[prefix] == b[prefix])
        ++prefix;
    const auto asciiOrEnd
        = [](const QString& text, qsizetype at) { return at >= text.size() || text[at].unicode() < 0x80; };
    while (prefix > 0 && !(asciiOrEnd(a, prefix) && asciiOrEnd(b, prefix)))
        --prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix && a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
        ++suffix;
    while (suffix > 0 && a[a.size() - suffix].unicode() >= 0x80)
        --suffix;
    const QString middleA = a.mid(prefix, a.size() - prefix - suffix);
    const QString middleB = b.mid(prefix, b.size() - prefix - suffix);
    return middleA.normalized(QString::NormalizationForm_C)
        == middleB.normalized(QString::NormalizationForm_C);
}

} // namespace

bool SignatureEditorDetailView::hasUnsavedChanges(const State& state)
{
    return !canonicallyEqual(state.htmlDraft, state.originalBody);
}

bool SignatureEditorDetailView::saveEnabled(const State& state)
{
    return hasUnsavedChanges(state) && !state.isLoading && state.contentMatchesSignature;
}

std::optional<SignatureEditorDetailView::ErrorLine> SignatureEditorDetailView::errorLine(
    const SignatureFile& signature, const State& state)
{
    if (signature.errorMessage)
        return ErrorLine { *signature.errorMessage, false };
    if (state.saveError)
        return ErrorLine { *state.saveError, true };
    return std::nullopt;
}

void SignatureEditorDetailView::applyLoadResult(
    State& state, const std::expected<SignatureContent, Error>& result)
{
    state.isLoading = true;
    state.saveError.reset();
    state.viewMode = ViewMode::view;
    if (!result) {
        state.saveError = tr("Failed to load signature: ") + result.error().description;
        // Another file's texts, or its unsaved edits, must not show under this file's name.
        state.header.clear();
        state.originalBody.clear();
        state.htmlDraft.clear();
        state.contentMatchesSignature = false;
        state.notLockedReason.reset();
        state.isLoading = false;
        return;
    }
    state.header = result->header;
    state.originalBody = result->html;
    state.htmlDraft = result->html;
    state.contentMatchesSignature = true;
    state.notLockedReason.reset();
    state.isLoading = false;
}

bool SignatureEditorDetailView::applySaveResult(State& state, const std::expected<SaveResult, Error>& result)
{
    if (!result) {
        state.saveError = tr("Failed to save signature: ") + result.error().description;
        return false;
    }
    state.originalBody = state.htmlDraft;
    // A file left unlocked is no failure, but the user must not believe it protected.
    if (result->locked)
        state.notLockedReason.reset();
    else
        state.notLockedReason = result->notLockedReason;
    return true;
}

QString SignatureEditorDetailView::notLockedSentence(const QString& reason)
{
    if (reason.isEmpty())
        return tr("Saved, but not locked, so Mail can still change the file.");
    return tr("Saved, but not locked: %1, so Mail can still change the file.").arg(reason);
}

SignatureEditorDetailView::SignatureEditorDetailView(
    RunningApplications& runningApplications, const SignatureStorage& storage, QWidget* parent)
    : QWidget(parent)
    , m_runningApplications(runningApplications)
    , m_storage(storage)
{
    setObjectName(QStringLiteral("signatureEditor"));
    m_systemColorScheme = Style::isDark(palette()) ? ColorScheme::dark : ColorScheme::light;

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_header = new EditorHeader(this);
    m_content = new EditorContent(this);
    m_footer = new EditorFooter(this);
    column->addWidget(m_header);
    column->addWidget(m_content, 1);
    column->addWidget(m_footer);

    connect(m_header, &EditorHeader::viewModeChosen, this, &SignatureEditorDetailView::setViewMode);
    connect(m_header, &EditorHeader::themeChosen, this, &SignatureEditorDetailView::chooseTheme);
    connect(m_header, &EditorHeader::dismissClicked, this, &SignatureEditorDetailView::dismissError);
    connect(m_content->codeEditor(), &CodeEditor::draftEdited, this, &SignatureEditorDetailView::draftEdited);
    connect(m_footer, &EditorFooter::saveClicked, this, &SignatureEditorDetailView::saveTapped);
    connect(m_footer, &EditorFooter::saveEnabledChanged, this, &SignatureEditorDetailView::canSaveChanged);

    m_toast = new SaveToastView(this);
    render();
}

SignatureEditorDetailView::~SignatureEditorDetailView() = default;

ColorScheme SignatureEditorDetailView::effectiveColorScheme() const
{
    return veltrin::effectiveColorScheme(m_state.previewTheme, m_systemColorScheme);
}

bool SignatureEditorDetailView::isMailRunning() const
{
    return m_runningApplications.runningCount(mailBundleIdentifier) > 0;
}

void SignatureEditorDetailView::setSignature(const SignatureFile& signature)
{
    const bool idChanged = !m_hasSignature || signature.id != m_signature.id;
    m_hasSignature = true;
    m_signature = signature;
    if (idChanged && isVisible())
        loadSignature();
    else
        render();
}

void SignatureEditorDetailView::preparePreview()
{
    if (m_warmUpPage > 0)
        return;
    m_warmUpPage = 1;
    m_content->preview()->setLoadFinishedHandler([this](bool) {
        if (m_warmUpPage != 1 || m_hasSignature)
            return;
        m_warmUpPage = 2;
        QTimer::singleShot(warmUpPageDelay, this, [this] {
            if (!m_hasSignature)
                render();
        });
    });
    render();
}

void SignatureEditorDetailView::loadSignature()
{
    const auto result = m_storage.loadContent(m_signature);
    applyLoadResult(m_state, result);
    m_codeEditorStale = true;
    render();
}

void SignatureEditorDetailView::saveTapped()
{
    saveThen({});
}

bool SignatureEditorDetailView::canSave() const
{
    return saveEnabled(m_state);
}

// The save path of the button, also for a save chosen before leaving: with Mail running it
// asks first. `then` learns whether the file was written.
void SignatureEditorDetailView::saveThen(std::function<void(bool saved)> then)
{
    if (isMailRunning()) {
        m_state.showingSaveConfirmation = true;
        openSaveConfirmation(std::move(then));
        render();
        return;
    }
    const bool saved = performSave();
    if (then)
        then(saved);
}

bool SignatureEditorDetailView::performSave()
{
    // After a failed load the texts are another file's; they never go into this one.
    if (!m_state.contentMatchesSignature)
        return false;
    const auto result = m_storage.save(m_signature, m_state.header, m_state.htmlDraft);
    if (!applySaveResult(m_state, result)) {
        render();
        return false;
    }
    const QPointer<SignatureEditorDetailView> self(this);
    if (m_onSaved)
        m_onSaved();
    if (!self)
        return true;
    m_state.showingSaveToast = true;
    // Each save hides the toast on its own schedule; an earlier save's hide may end a later toast.
    QTimer::singleShot(m_toastDuration, this, [this] {
        m_state.showingSaveToast = false;
        render();
    });
    render();
    m_toast->present();
    return true;
}

bool SignatureEditorDetailView::holdsUnsavedChanges() const
{
    return m_state.contentMatchesSignature && !m_state.isLoading && hasUnsavedChanges(m_state);
}

void SignatureEditorDetailView::askBeforeLeaving(std::function<void(bool leave)> done)
{
    if (!holdsUnsavedChanges()) {
        done(true);
        return;
    }
    // One question at a time; a second way out while one is open stays where it is.
    if (m_leaveQuestion || m_confirmation) {
        done(false);
        return;
    }
    auto* box = new QMessageBox(this);
    box->setObjectName(QStringLiteral("leaveQuestion"));
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Warning);
    const QString title
        = tr("Do you want to save the changes you made to \u201c%1\u201d?").arg(m_signature.displayName);
    box->setWindowTitle(title);
    box->setText(title);
    box->setInformativeText(tr("Your changes will be lost if you don't save them."));
    QPushButton* save = box->addButton(tr("Save"), QMessageBox::AcceptRole);
    QPushButton* discard = box->addButton(tr("Don't Save"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(tr("Cancel"), QMessageBox::RejectRole);
    box->setDefaultButton(save);
    box->setEscapeButton(cancel);
    connect(box, &QMessageBox::finished, this, [this, box, save, discard, done = std::move(done)] {
        const QAbstractButton* clicked = box->clickedButton();
        m_leaveQuestion = nullptr;
        if (clicked == discard)
            done(true);
        else if (clicked == save)
            saveThen(done);
        else
            done(false);
    });
    m_leaveQuestion = box;
    box->open();
}

void SignatureEditorDetailView::dismissError()
{
    m_state.saveError.reset();
    render();
}

void SignatureEditorDetailView::chooseTheme(PreviewTheme theme)
{
    m_state.previewTheme = theme;
    render();
}

void SignatureEditorDetailView::setViewMode(ViewMode mode)
{
    m_state.viewMode = mode;
    render();
}

void SignatureEditorDetailView::openSaveConfirmation(std::function<void(bool saved)> then)
{
    if (m_confirmation) {
        if (then)
            then(false);
        return;
    }
    auto* box = new QMessageBox(this);
    box->setObjectName(QStringLiteral("saveConfirmation"));
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(tr("Please close Mail before saving"));
    box->setText(tr("Please close Mail before saving"));
    box->setInformativeText(tr("Apple Mail can overwrite signature changes while it's open."));
    QPushButton* save = box->addButton(tr("Save"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(tr("Cancel"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    connect(box, &QMessageBox::finished, this, [this, box, save, then = std::move(then)] {
        const bool chosen = box->clickedButton() == save;
        m_confirmation = nullptr;
        m_state.showingSaveConfirmation = false;
        bool saved = false;
        if (chosen)
            saved = performSave();
        else
            render();
        if (then)
            then(saved);
    });
    m_confirmation = box;
    box->open();
}

void SignatureEditorDetailView::draftEdited(const DraftSplicer::Splice& splice)
{
    m_state.htmlDraft.replace(splice.position, splice.removed, splice.inserted);
    render();
}

// The toast comes in once per save (performSave()), which is also when it is announced; a render
// while it shows keeps it as it is.
void SignatureEditorDetailView::setToastShown(bool shown)
{
    m_toast->placeIn(rect(), toastTopInset);
    if (!shown)
        m_toast->dismiss();
}

void SignatureEditorDetailView::render()
{
    m_header->setTitles(m_signature.displayName, m_signature.filePath.toLocalFile());
    m_header->setViewMode(m_state.viewMode);
    const std::optional<ErrorLine> line = errorLine(m_signature, m_state);
    m_header->setErrorLine(
        line ? std::optional<QString>(line->message) : std::nullopt, line && line->dismissible);
    m_header->setPreviewTheme(m_state.previewTheme);

    const ColorScheme scheme = effectiveColorScheme();
    m_content->setContentScheme(scheme);
    if (m_state.isLoading && m_warmUpPage > 0 && !m_hasSignature) {
        // Regular and bold, the weights signatures use most; hidden, so that no frame shows it.
        // It stays, in the scheme of the moment, until the first signature comes. The second
        // page differs from the first only so that it is loaded anew.
        m_content->showPreview(m_warmUpPage == 1
                ? QStringLiteral("<p style=\"visibility: hidden\">Signature <b>Signature</b></p>")
                : QStringLiteral("<p style=\"visibility: hidden\"><b>Signature</b> Signature</p>"),
            scheme);
    } else if (m_state.isLoading) {
        m_content->showLoading();
    } else if (!m_state.contentMatchesSignature) {
        if (m_codeEditorStale) {
            m_content->codeEditor()->showDraft(QString());
            m_codeEditorStale = false;
        }
        m_content->showNothing();
    } else if (m_state.viewMode == ViewMode::view) {
        m_content->showPreview(m_state.htmlDraft, scheme);
    } else {
        if (m_codeEditorStale) {
            m_content->codeEditor()->showDraft(m_state.htmlDraft);
            m_codeEditorStale = false;
        }
        m_content->showCode();
    }

    m_footer->setMailRunning(isMailRunning());
    m_footer->setUnsavedChanges(hasUnsavedChanges(m_state));
    m_footer->setSaveEnabled(saveEnabled(m_state));
    m_footer->setNotLockedNote(m_state.notLockedReason
            ? std::optional<QString>(notLockedSentence(*m_state.notLockedReason))
            : std::nullopt);
    setToastShown(m_state.showingSaveToast);
}

void SignatureEditorDetailView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Coming on screen loads; a window coming back from the desktop doesn't.
    if (!event->spontaneous() && m_hasSignature)
        loadSignature();
}

void SignatureEditorDetailView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // The desktop's appearance reaches the editor as a change of the application's palette.
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        && m_footer) {
        const ColorScheme system = Style::isDark(palette()) ? ColorScheme::dark : ColorScheme::light;
        if (system != m_systemColorScheme) {
            m_systemColorScheme = system;
            render();
        }
    }
}

void SignatureEditorDetailView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_toast->placeIn(rect(), toastTopInset);
}

} // namespace veltrin
