#include "app/window/ContentView.h"

#include "app/onboarding/OnboardingView.h"
#include "app/sidebar/SplitEditorView.h"
#include "app/window/EmptyStateView.h"
#include "app/window/LoadingView.h"
#include "store/SignatureService.h"

#include <QAbstractItemView>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

namespace veltrin {

namespace {

QList<QUuid> idsOf(const QList<SignatureFile>& signatures)
{
    QList<QUuid> ids;
    ids.reserve(signatures.size());
    for (const SignatureFile& signature : signatures)
        ids.append(signature.id);
    return ids;
}

// The list takes focus in the list state; the sidebar decides which row that shows.
template <typename Split> void focusSignatureList(Split& split)
{
    if constexpr (requires { split.focusList(); })
        split.focusList();
    else if (auto* list = split.template findChild<QAbstractItemView*>(QStringLiteral("signatureList")))
        list->setFocus();
}

} // namespace

ContentView::ContentView(Preferences& preferences, FolderAccess& folderAccess, FolderPanel& folderPanel,
    RunningApplications& runningApplications, FileAttributes& fileAttributes, FileOperations& files,
    const QString& homeFolder, QWidget* parent)
    : QWidget(parent)
    , m_runningApplications(runningApplications)
    , m_service(new SignatureService(preferences, folderAccess, folderPanel, files, fileAttributes, homeFolder, this))
{
    setMinimumSize(minimumWidth, minimumHeight);
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);

    // The first render's list is the baseline: the change rule never runs for it.
    m_seenSignatureIds = idsOf(m_service->signatures());
    connect(m_service, &SignatureService::signaturesChanged, this, &ContentView::scheduleViewUpdate);
    // The first child is made when the view appears: a launch with a stored folder goes
    // straight to loading, and building the onboarding it never shows would delay the window.
}

ContentView::~ContentView() = default;

void ContentView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        handleAppear();
        if (!m_child)
            showChild();
    }
}

void ContentView::handleAppear()
{
    if (!m_service->hasBookmark()) {
        setAppState(AppState::onboarding);
        return;
    }
    // The loading state shows at once; the folder is read once the window is up, so that a
    // slow folder never keeps the window from appearing.
    setAppState(AppState::loading);
    QMetaObject::invokeMethod(
        this,
        [this] {
            loadSignatures();
            // The window's first frame usually follows in this very pass of the event loop: the
            // view catches up now, as it would once the load returns, so that frame shows the list
            // rather than a glimpse of the loading state.
            if (m_viewUpdatePending)
                updateView();
        },
        Qt::QueuedConnection);
}

void ContentView::loadSignatures()
{
    askBeforeLeaving([view = QPointer<ContentView>(this)](bool leave) {
        if (view && leave)
            view->startLoad();
    });
}

bool ContentView::holdsUnsavedChanges() const
{
    return m_splitEditorView && m_splitEditorView->holdsUnsavedChanges();
}

void ContentView::askBeforeLeaving(std::function<void(bool leave)> done)
{
    if (m_splitEditorView)
        m_splitEditorView->askBeforeLeaving(std::move(done));
    else
        done(true);
}

bool ContentView::canSave() const
{
    return m_splitEditorView && m_splitEditorView->canSave();
}

void ContentView::saveTapped()
{
    if (m_splitEditorView)
        m_splitEditorView->saveTapped();
}

void ContentView::startLoad()
{
    setAppState(AppState::loading);
    restoreOrRequestAccess();
    // Each load ends with its own recomputation; none is ever cancelled.
    if (m_scheduler)
        m_scheduler(m_recomputationDelay, [view = QPointer<ContentView>(this)] {
            if (view)
                view->updateAppState();
        });
    else
        QTimer::singleShot(m_recomputationDelay, this, &ContentView::updateAppState);
}

void ContentView::reloadSignatures()
{
    restoreOrRequestAccess();
}

void ContentView::restoreOrRequestAccess()
{
    m_service->setSignatures({});
    m_service->setErrorMessage(std::nullopt);
    if (!m_service->restoreAccessFromBookmark())
        m_service->requestAccess();
}

void ContentView::updateAppState()
{
    if (m_service->errorMessage())
        setAppState(AppState::onboarding);
    else if (!m_service->signatures().isEmpty())
        setAppState(AppState::list);
    else
        setAppState(AppState::empty);
}

void ContentView::setAppState(AppState state)
{
    if (state == m_appState)
        return;
    m_appState = state;
    showChild();
    Q_EMIT appStateChanged(state);
}

// Values set within one action are not seen: the comparison waits until control returns
// to the event loop, like a view update after the action has finished.
void ContentView::scheduleViewUpdate()
{
    if (m_viewUpdatePending)
        return;
    m_viewUpdatePending = true;
    QMetaObject::invokeMethod(this, &ContentView::updateView, Qt::QueuedConnection);
}

void ContentView::updateView()
{
    if (!std::exchange(m_viewUpdatePending, false))
        return; // already caught up
    QList<QUuid> ids = idsOf(m_service->signatures());
    const bool changed = ids != m_seenSignatureIds;
    m_seenSignatureIds = std::move(ids);
    if (m_splitEditorView)
        m_splitEditorView->setSignatures(m_service->signatures());
    if (changed && m_appState != AppState::list)
        updateAppState();
}

void ContentView::showChild()
{
    // The old child may be running the very closure that changed the state: let it return first.
    if (m_child) {
        m_layout->removeWidget(m_child);
        m_child->hide();
        m_child->deleteLater();
    }
    m_loadingView = nullptr;
    m_onboardingView = nullptr;
    m_emptyStateView = nullptr;
    m_splitEditorView = nullptr;

    switch (m_appState) {
    case AppState::loading:
        m_child = m_loadingView = new LoadingView(this);
        break;
    case AppState::onboarding:
        // The flow shows the store's problem, if any, so that the user learns why it is back.
        m_child = m_onboardingView
            = new OnboardingView([this] { loadSignatures(); }, m_service->errorMessage(), this);
        break;
    case AppState::empty:
        m_child = m_emptyStateView = new EmptyStateView([this] { loadSignatures(); }, this);
        break;
    case AppState::list: {
        auto* split = new SplitEditorView(m_runningApplications, m_service->storage(), this);
        split->setSignatures(m_service->signatures());
        split->setSelectedSignature(m_selectedSignature);
        split->setOnRescan([this] { loadSignatures(); });
        split->setOnSaved([this] { reloadSignatures(); });
        connect(split, &SplitEditorView::selectedSignatureChanged, this,
            [this](const std::optional<SignatureFile>& signature) { m_selectedSignature = signature; });
        connect(split, &SplitEditorView::canSaveChanged, this, &ContentView::canSaveChanged);
        m_child = m_splitEditorView = split;
        break;
    }
    }
    m_layout->addWidget(m_child);
    m_child->show();
    // The old child's editor, if any, went with it.
    Q_EMIT canSaveChanged(canSave());
    // After every change of state focus lands in the new view, so the keyboard can go on
    // and a screen reader announces where it is.
    if (m_splitEditorView)
        focusSignatureList(*m_splitEditorView);
    else
        m_child->setFocus();
}

} // namespace veltrin
