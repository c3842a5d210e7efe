#include "app/sidebar/SplitEditorView.h"

#include "app/editor/SignatureEditorDetailView.h"
#include "app/look/Controls.h"
#include "app/look/Style.h"
#include "app/look/Symbols.h"
#include "app/sidebar/SignatureListModel.h"
#include "app/sidebar/SignatureListView.h"
#include "app/sidebar/SignatureRowDelegate.h"
#include "platform/FirstFrame.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QShowEvent>
#include <QSplitter>
#include <QStackedLayout>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include <utility>

namespace veltrin {

namespace {

constexpr int sidebarMinimumWidth = 280;

// A large symbol over a text, centred, in the secondary colour.
QWidget* placeholder(const QString& symbol, int symbolSize, const QString& text, Style::TextStyle style,
    int spacing, QWidget* parent)
{
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setSpacing(spacing);
    layout->addStretch();
    auto* icon = new QLabel(box);
    icon->setObjectName(QStringLiteral("placeholderSymbol"));
    icon->setProperty("symbol", symbol);
    icon->setProperty("symbolSize", symbolSize);
    icon->setAlignment(Qt::AlignCenter);
    auto* label = new QLabel(text, box);
    label->setObjectName(QStringLiteral("placeholderText"));
    label->setFont(Style::font(style));
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);
    layout->addWidget(label);
    layout->addStretch();
    return box;
}

} // namespace

SplitEditorView::SplitEditorView(
    RunningApplications& runningApplications, const SignatureStorage& storage, QWidget* parent)
    : QWidget(parent)
    , m_runningApplications(runningApplications)
    , m_storage(storage)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->setChildrenCollapsible(false);
    auto* sidebar = new QWidget(m_splitter);
    buildSidebar(sidebar);
    buildDetail();
    m_splitter->addWidget(sidebar);
    m_splitter->addWidget(m_detail);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({ sidebarMinimumWidth, 700 });
    layout->addWidget(m_splitter);
    showListSelection();
    showDetail();
    applyColours();
}

SplitEditorView::~SplitEditorView() = default;

void SplitEditorView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        applyColours();
}

// Colours follow the desktop's appearance, also when it changes while the window is open; the
// list's rows take theirs when they are painted.
void SplitEditorView::applyColours()
{
    const QColor secondary = Style::color(Style::Color::secondary, this);
    const QList<QLabel*> symbols = findChildren<QLabel*>(QStringLiteral("placeholderSymbol"));
    for (QLabel* icon : symbols)
        icon->setPixmap(Symbols::pixmap(
            icon->property("symbol").toString(), icon->property("symbolSize").toInt(), secondary));
    const QList<QLabel*> texts = findChildren<QLabel*>(QStringLiteral("placeholderText"));
    for (QLabel* label : texts) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, secondary);
        label->setPalette(palette);
    }
    auto* reload = findChild<QToolButton*>(QStringLiteral("reloadButton"));
    reload->setIcon(
        Symbols::icon(QStringLiteral("arrow.clockwise"), Style::color(Style::Color::primary, this)));
}

void SplitEditorView::buildSidebar(QWidget* sidebar)
{
    sidebar->setObjectName(QStringLiteral("sidebar"));
    sidebar->setMinimumWidth(sidebarMinimumWidth);
    auto* column = new QVBoxLayout(sidebar);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(16, 12, 16, 12);
    auto* title = new QLabel(tr("Signatures"), sidebar);
    title->setFont(Style::font(Style::TextStyle::title3, QFont::DemiBold));
    header->addWidget(title);
    header->addStretch();
    auto* reload = new QToolButton(sidebar);
    reload->setObjectName(QStringLiteral("reloadButton"));
    reload->setAutoRaise(true);
    reload->setToolTip(tr("Reload signatures"));
    reload->setAccessibleName(tr("Reload"));
    reload->setAccessibleDescription(reload->toolTip());
    connect(reload, &QToolButton::clicked, this, [this] {
        if (m_onRescan)
            m_onRescan();
    });
    header->addWidget(reload);
    column->addLayout(header);

    column->addWidget(Controls::divider(sidebar));

    m_sidebarContent = new QStackedWidget(sidebar);
    m_emptyPlaceholder = placeholder(QStringLiteral("doc.text.magnifyingglass"), 48, tr("No signatures"),
        Style::TextStyle::title3, 16, m_sidebarContent);
    m_emptyPlaceholder->setObjectName(QStringLiteral("noSignatures"));
    m_emptyPlaceholder->setAutoFillBackground(true);
    m_model = new SignatureListModel(this);
    m_list = new SignatureListView(m_sidebarContent);
    m_list->setObjectName(QStringLiteral("signatureList"));
    m_list->setAccessibleName(tr("Signatures"));
    m_list->setModel(m_model);
    m_list->setItemDelegate(new SignatureRowDelegate(m_list));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Rows are as wide as the list and their error lines wrap to that width.
    m_list->setResizeMode(QListView::Adjust);
    m_list->setSpacing(1);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &SplitEditorView::rowSelectionChanged);
    m_sidebarContent->addWidget(m_emptyPlaceholder);
    m_sidebarContent->addWidget(m_list);
    column->addWidget(m_sidebarContent, 1);
}

void SplitEditorView::buildDetail()
{
    m_detail = new QStackedWidget(m_splitter);
    m_detail->setObjectName(QStringLiteral("detail"));
    m_noSelectionPlaceholder = placeholder(
        QStringLiteral("doc.text"), 64, tr("Select a signature"), Style::TextStyle::title2, 20, m_detail);
    m_noSelectionPlaceholder->setObjectName(QStringLiteral("noSelection"));
    // Opaque, so that the editor prepared beneath it stays out of sight.
    m_noSelectionPlaceholder->setAutoFillBackground(true);
    m_detail->addWidget(m_noSelectionPlaceholder);
}

void SplitEditorView::setSignatures(const QList<SignatureFile>& signatures)
{
    m_updatingList = true;
    m_model->setSignatures(signatures);
    // A row's height changes with its error message.
    m_list->doItemsLayout();
    m_updatingList = false;
    m_sidebarContent->setCurrentWidget(
        signatures.isEmpty() ? m_emptyPlaceholder : static_cast<QWidget*>(m_list));
    showListSelection();
}

void SplitEditorView::setSelectedSignature(const std::optional<SignatureFile>& signature)
{
    changeSelection(signature, SelectionOrigin::owner);
}

bool SplitEditorView::holdsUnsavedChanges() const
{
    return m_editor && m_editor->holdsUnsavedChanges();
}

void SplitEditorView::askBeforeLeaving(std::function<void(bool leave)> done)
{
    if (m_editor)
        m_editor->askBeforeLeaving(std::move(done));
    else
        done(true);
}

bool SplitEditorView::canSave() const
{
    return m_editor && m_editor->canSave();
}

void SplitEditorView::saveTapped()
{
    if (canSave())
        m_editor->saveTapped();
}

void SplitEditorView::changeSelection(const std::optional<SignatureFile>& signature, SelectionOrigin origin)
{
    // The editor leaves its text when the selection goes away or names another scan's file.
    const bool editorLeaves = m_editor && (!signature || signature->id != m_editor->signature().id);
    if (origin == SelectionOrigin::user && editorLeaves && m_editor->holdsUnsavedChanges()) {
        // Until the user has answered, the old row stays highlighted. A keyboard move sets the
        // current row after announcing the selection, so the current row is put back once more.
        showListSelection();
        QMetaObject::invokeMethod(this, &SplitEditorView::showListSelection, Qt::QueuedConnection);
        m_editor->askBeforeLeaving([this, signature](bool leave) {
            if (!leave)
                return;
            applySelection(signature, SelectionOrigin::user);
            showListSelection();
        });
        return;
    }
    applySelection(signature, origin);
}

void SplitEditorView::applySelection(const std::optional<SignatureFile>& signature, SelectionOrigin origin)
{
    m_selectedSignature = signature;
    if (origin == SelectionOrigin::owner)
        showListSelection();
    showDetail();
    if (origin == SelectionOrigin::user)
        Q_EMIT selectedSignatureChanged(signature);
}

// A kept selection from an earlier scan matches no row (ids are new at every scan).
void SplitEditorView::showListSelection()
{
    m_updatingList = true;
    QItemSelectionModel* selection = m_list->selectionModel();
    const int row = m_selectedSignature ? m_model->rowOf(*m_selectedSignature) : -1;
    if (row >= 0) {
        const QModelIndex index = m_model->index(row);
        selection->select(index, QItemSelectionModel::ClearAndSelect);
        selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    } else {
        selection->clearSelection();
    }
    m_updatingList = false;
}
void SplitEditorView::showDetail()
{
    if (!m_selectedSignature) {
        m_detail->setCurrentWidget(m_noSelectionPlaceholder);
        if (m_editor) {
            m_detail->removeWidget(m_editor);
            m_editor->deleteLater();
            m_editor = nullptr;
            Q_EMIT canSaveChanged(false);
        }
        return;
    }
    if (!m_editor) {
        if (m_preparedEditor) {
            m_editor = std::exchange(m_preparedEditor, nullptr);
            m_detail->removeEventFilter(this); // the stack sizes its pages itself
            m_editor->setEnabled(true);
            // Joins the stack without being hidden on the way: hiding the web view and showing it
            // again makes the page process wait for a new surface before its first frame.
            auto* stack = static_cast<QStackedLayout*>(m_detail->layout());
            stack->setStackingMode(QStackedLayout::StackAll);
            m_detail->addWidget(m_editor);
            m_detail->setCurrentWidget(m_editor);
            stack->setStackingMode(QStackedLayout::StackOne);
        } else {
            m_editor = new SignatureEditorDetailView(m_runningApplications, m_storage, m_detail);
            // Added first: the stack hides a page it is given, so the file is read once, on showing.
            m_detail->addWidget(m_editor);
        }
        m_editor->setOnSaved([this] {
            if (m_onSaved)
                m_onSaved();
        });
        connect(m_editor, &SignatureEditorDetailView::canSaveChanged, this, &SplitEditorView::canSaveChanged);
        m_editor->setSignature(*m_selectedSignature);
    } else {
        m_editor->setSignature(*m_selectedSignature);
    }
    m_detail->setCurrentWidget(m_editor);
}

void SplitEditorView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_preparationScheduled || event->spontaneous())
        return;
    m_preparationScheduled = true;
    // After the window's first frame: the user sees the list before the web engine starts.
    QWindow* handle = window()->windowHandle();
    if (handle && handle->isExposed())
        QTimer::singleShot(0, this, &SplitEditorView::prepareEditor);
    else
        afterFirstFrame(window(), this, [this] { prepareEditor(); });
}

// The first preview would otherwise wait for the web engine to start a page process, load
// fonts, and for the window to compose a web view for the first time (which on software
// OpenGL compiles shaders). The prepared editor does all of that ahead, disabled and shown
// beneath the opaque placeholder; the first selection raises it, as every later selection
// finds the editor already there.
void SplitEditorView::prepareEditor()
{
    if (m_editor || m_preparedEditor || m_model->rowCount() == 0)
        return;
    // A child of the stack but not one of its pages: the stack's accessible tree lists only its
    // pages, so a screen reader never meets the editor before it is picked.
    auto* editor = new SignatureEditorDetailView(m_runningApplications, m_storage, m_detail);
    m_preparedEditor = editor;
    editor->setEnabled(false); // no focus or input while it is out of sight
    editor->setGeometry(m_detail->rect());
    editor->show();
    editor->lower();
    editor->preparePreview();
    m_detail->installEventFilter(this);
}

bool SplitEditorView::eventFilter(QObject* watched, QEvent* event)
{
    // The prepared editor is no page of the stack, so its size follows the stack's by hand.
    if (watched == m_detail && event->type() == QEvent::Resize && m_preparedEditor)
        m_preparedEditor->setGeometry(m_detail->rect());
    return QWidget::eventFilter(watched, event);
}

void SplitEditorView::rowSelectionChanged()
{
    if (m_updatingList)
        return;
    const QModelIndexList selected = m_list->selectionModel()->selectedIndexes();
    changeSelection(selected.isEmpty() ? std::nullopt : m_model->signature(selected.first().row()),
        SelectionOrigin::user);
}

} // namespace veltrin
