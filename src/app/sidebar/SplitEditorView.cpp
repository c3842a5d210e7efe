#include "app/sidebar/SplitEditorView.h"

#include "app/editor/SignatureEditorDetailView.h"
#include "app/sidebar/SignatureRow.h"
#include "app/look/Style.h"
#include "app/look/Symbols.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

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

SplitEditorView::SplitEditorView(RunningApplications& runningApplications, QWidget* parent)
    : QWidget(parent)
    , m_runningApplications(runningApplications)
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
    m_splitter->setSizes({sidebarMinimumWidth, 700});
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

// Colours follow the desktop's appearance, also when it changes while the window is open.
void SplitEditorView::applyColours()
{
    const bool dark = Style::isDark(palette());
    if (m_coloursDark == dark)
        return;
    m_coloursDark = dark;
    const QColor secondary = Style::color(Style::Color::secondary, dark);
    const QList<QLabel*> symbols = findChildren<QLabel*>(QStringLiteral("placeholderSymbol"));
    for (QLabel* icon : symbols)
        icon->setPixmap(Symbols::pixmap(icon->property("symbol").toString(), icon->property("symbolSize").toInt(), secondary));
    const QList<QLabel*> texts = findChildren<QLabel*>(QStringLiteral("placeholderText"));
    for (QLabel* label : texts) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, secondary);
        label->setPalette(palette);
    }
    const QList<QFrame*> lines = m_splitter->widget(0)->findChildren<QFrame*>(QStringLiteral("divider"));
    for (QFrame* divider : lines) {
        QPalette palette = divider->palette();
        palette.setColor(QPalette::WindowText, dark ? QColor(255, 255, 255, 38) : QColor(0, 0, 0, 26));
        divider->setPalette(palette);
    }
    // A quiet selection, as sidebars have it, so that the row's dimmer lines stay legible.
    QPalette listPalette = m_list->palette();
    const QColor selection = dark ? QColor(255, 255, 255, 36) : QColor(0, 0, 0, 28);
    listPalette.setColor(QPalette::Highlight, selection);
    listPalette.setColor(QPalette::Inactive, QPalette::Highlight, selection);
    listPalette.setColor(QPalette::HighlightedText, Style::color(Style::Color::primary, dark));
    m_list->setPalette(listPalette);
    auto* reload = findChild<QToolButton*>(QStringLiteral("reloadButton"));
    reload->setIcon(Symbols::icon(QStringLiteral("arrow.clockwise"), Style::color(Style::Color::primary, dark)));
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
    connect(reload, &QToolButton::clicked, this, [this] {
        if (m_onRescan)
            m_onRescan();
    });
    header->addWidget(reload);
    column->addLayout(header);

    auto* line = new QFrame(sidebar);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    line->setObjectName(QStringLiteral("divider"));
    column->addWidget(line);

    m_sidebarContent = new QStackedWidget(sidebar);
    m_emptyPlaceholder = placeholder(QStringLiteral("doc.text.magnifyingglass"), 48, tr("No signatures"),
                                     Style::TextStyle::title3, 16, m_sidebarContent);
    m_emptyPlaceholder->setObjectName(QStringLiteral("noSignatures"));
    m_emptyPlaceholder->setAutoFillBackground(true);
    m_list = new QListWidget(m_sidebarContent);
    m_list->setObjectName(QStringLiteral("signatureList"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setSpacing(1);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &SplitEditorView::rowSelectionChanged);
    m_sidebarContent->addWidget(m_emptyPlaceholder);
    m_sidebarContent->addWidget(m_list);
    column->addWidget(m_sidebarContent, 1);
}

void SplitEditorView::buildDetail()
{
    m_detail = new QStackedWidget(m_splitter);
    m_detail->setObjectName(QStringLiteral("detail"));
    m_noSelectionPlaceholder = placeholder(QStringLiteral("doc.text"), 64, tr("Select a signature"),
                                           Style::TextStyle::title2, 20, m_detail);
    m_noSelectionPlaceholder->setObjectName(QStringLiteral("noSelection"));
    m_detail->addWidget(m_noSelectionPlaceholder);
}

void SplitEditorView::setSignatures(const QList<SignatureFile>& signatures)
{
    m_signatures = signatures;
    m_updatingList = true;
    m_list->clear();
    for (const SignatureFile& signature : std::as_const(m_signatures)) {
        auto* item = new QListWidgetItem(m_list);
        auto* row = new SignatureRow(signature);
        row->setContentsMargins(8, 0, 8, 0);
        item->setSizeHint(row->sizeHint());
        m_list->setItemWidget(item, row);
    }
    m_updatingList = false;
    m_sidebarContent->setCurrentWidget(m_signatures.isEmpty() ? m_emptyPlaceholder : static_cast<QWidget*>(m_list));
    showListSelection();
}

void SplitEditorView::setSelectedSignature(const std::optional<SignatureFile>& signature)
{
    m_selectedSignature = signature;
    showListSelection();
    showDetail();
}

// A kept selection from an earlier scan matches no row (ids are new at every scan).
void SplitEditorView::showListSelection()
{
    m_updatingList = true;
    m_list->clearSelection();
    if (m_selectedSignature) {
        const qsizetype row = m_signatures.indexOf(*m_selectedSignature);
        if (row >= 0) {
            m_list->item(int(row))->setSelected(true);
            m_list->setCurrentRow(int(row), QItemSelectionModel::NoUpdate);
        }
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
        }
        return;
    }
    if (!m_editor) {
        m_editor = new SignatureEditorDetailView(m_runningApplications, m_detail);
        m_editor->setOnSaved([this] {
            if (m_onSaved)
                m_onSaved();
        });
        m_editor->setSignature(*m_selectedSignature);
        m_detail->addWidget(m_editor);
    } else {
        m_editor->setSignature(*m_selectedSignature);
    }
    m_detail->setCurrentWidget(m_editor);
}

void SplitEditorView::rowSelectionChanged()
{
    if (m_updatingList)
        return;
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    std::optional<SignatureFile> picked;
    if (!selected.isEmpty())
        picked = m_signatures.value(m_list->row(selected.first()));
    m_selectedSignature = picked;
    showDetail();
    Q_EMIT selectedSignatureChanged(picked);
}

} // namespace veltrin
