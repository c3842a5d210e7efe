#include "app/editor/EditorContent.h"

#include "app/editor/CodeEditor.h"
#include "app/editor/EditorModes.h"
#include "app/editor/PreviewView.h"
#include "app/look/Style.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace veltrin {

namespace {

void setBackground(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

EditorContent::EditorContent(QWidget* parent)
    : QStackedWidget(parent)
    , m_loadingPage(new QWidget(this))
    , m_loadingText(new QLabel(tr("Loading signature..."), m_loadingPage))
    , m_emptyPage(new QWidget(this))
    , m_previewPage(new QWidget(this))
    , m_previewBackground(new QWidget(m_previewPage))
    , m_preview(createPreviewView(m_previewBackground))
    , m_codePage(new QWidget(this))
    , m_codeEditor(new CodeEditor(m_codePage))
{
    setObjectName(QStringLiteral("content"));

    m_loadingPage->setObjectName(QStringLiteral("loadingPage"));
    auto* loadingLayout = new QVBoxLayout(m_loadingPage);
    loadingLayout->setSpacing(20);
    loadingLayout->addStretch();
    auto* progress = new QProgressBar(m_loadingPage);
    progress->setRange(0, 0);
    progress->setTextVisible(false);
    progress->setFixedWidth(120);
    loadingLayout->addWidget(progress, 0, Qt::AlignHCenter);
    m_loadingText->setFont(Style::font(Style::TextStyle::body));
    loadingLayout->addWidget(m_loadingText, 0, Qt::AlignHCenter);
    loadingLayout->addStretch();

    m_emptyPage->setObjectName(QStringLiteral("emptyPage"));

    m_previewPage->setObjectName(QStringLiteral("previewPage"));
    auto* previewLayout = new QHBoxLayout(m_previewPage);
    previewLayout->setContentsMargins(10, 0, 0, 0);
    m_previewBackground->setObjectName(QStringLiteral("previewBackground"));
    auto* previewBackgroundLayout = new QHBoxLayout(m_previewBackground);
    previewBackgroundLayout->setContentsMargins(0, 0, 0, 0);
    previewBackgroundLayout->addWidget(m_preview->widget());
    previewLayout->addWidget(m_previewBackground);

    m_codePage->setObjectName(QStringLiteral("codePage"));
    auto* codeLayout = new QHBoxLayout(m_codePage);
    codeLayout->setContentsMargins(4, 4, 4, 4);
    m_codeEditor->setObjectName(QStringLiteral("codeEditor"));
    m_codeEditor->setAccessibleName(tr("HTML code"));
    codeLayout->addWidget(m_codeEditor);

    addWidget(m_loadingPage);
    addWidget(m_emptyPage);
    addWidget(m_previewPage);
    addWidget(m_codePage);
    setContentScheme(ColorScheme::light);
    restyle();
}

void EditorContent::showLoading()
{
    setCurrentWidget(m_loadingPage);
}

void EditorContent::showNothing()
{
    setCurrentWidget(m_emptyPage);
}

void EditorContent::showPreview(const QString& html, ColorScheme scheme)
{
    if (currentWidget() != m_previewPage || m_preview->htmlContent() != html
        || m_preview->colorScheme() != scheme)
        m_preview->updatePage(html, scheme);
    setCurrentWidget(m_previewPage);
}

void EditorContent::showCode()
{
    setCurrentWidget(m_codePage);
}

void EditorContent::setContentScheme(ColorScheme scheme)
{
    if (m_contentScheme == scheme)
        return;
    m_contentScheme = scheme;
    const bool dark = scheme == ColorScheme::dark;
    const QColor background = contentBackgroundColor(scheme);
    setBackground(m_previewBackground, background);
    QPalette code = m_codeEditor->palette();
    code.setColor(QPalette::Base, background);
    code.setColor(QPalette::Window, background);
    code.setColor(QPalette::Text, dark ? QColor(Qt::white) : QColor(Qt::black));
    code.setColor(QPalette::Highlight, Style::color(Style::Color::blue, dark));
    code.setColor(QPalette::HighlightedText, Qt::white);
    m_codeEditor->setPalette(code);
    m_codeEditor->viewport()->setPalette(code);
}

void EditorContent::changeEvent(QEvent* event)
{
    QStackedWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        restyle();
}

void EditorContent::restyle()
{
    QPalette palette = m_loadingText->palette();
    palette.setColor(QPalette::WindowText, Style::color(Style::Color::secondary, this));
    m_loadingText->setPalette(palette);
}

} // namespace veltrin
