#include "app/editor/PreviewHost.h"

#include "app/editor/PreviewModule.h"
#include "app/look/ElidingLabel.h"

#include <QChildEvent>
#include <QVBoxLayout>

namespace veltrin {

namespace {

// A web page keeps Tab for its own links, so the keyboard would stay in the preview; a click
// still gives it focus.
void keepOutOfTabChain(QWidget* widget)
{
    if (widget->focusPolicy() & Qt::TabFocus)
        widget->setFocusPolicy(Qt::ClickFocus);
}

} // namespace

PreviewView* createPreviewView(QWidget* parent)
{
    return new PreviewHost(parent);
}

PreviewHost::PreviewHost(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("previewHost"));
    setAccessibleName(tr("Signature preview"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

PreviewHost::~PreviewHost() = default;

void PreviewHost::updatePage(const QString& htmlContent, ColorScheme colorScheme)
{
    m_htmlContent = htmlContent;
    m_colorScheme = colorScheme;
    if (!m_preview && !m_unavailable) {
        if (PreviewFactory* factory = PreviewModule::factory()) {
            m_preview = factory->createPreview(this);
            m_preview->setLoadFinishedHandler([this](bool ok) { Q_EMIT loadFinished(ok); });
            QWidget* view = m_preview->widget();
            view->setAccessibleName(accessibleName());
            keepOutOfTabChain(view);
            for (QWidget* child : view->findChildren<QWidget*>())
                keepOutOfTabChain(child);
            view->installEventFilter(this);
            layout()->addWidget(m_preview->widget());
        } else {
            m_unavailable = new ElidingLabel(Qt::ElideRight, this);
            m_unavailable->setObjectName(QStringLiteral("previewUnavailable"));
            m_unavailable->setFullText(tr("Preview unavailable: %1").arg(PreviewModule::errorString()));
            m_unavailable->setToolTip(m_unavailable->fullText());
            layout()->addWidget(m_unavailable);
            static_cast<QVBoxLayout*>(layout())->addStretch();
        }
    }
    if (m_preview)
        m_preview->updatePage(htmlContent, colorScheme);
}

bool PreviewHost::eventFilter(QObject* watched, QEvent* event)
{
    // The web view makes its surface anew when its page's process restarts.
    if (event->type() == QEvent::ChildPolished)
        if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()))
            keepOutOfTabChain(child);
    return QWidget::eventFilter(watched, event);
}

void PreviewHost::setLoadFinishedHandler(std::function<void(bool)> handler)
{
    connect(this, &PreviewHost::loadFinished, this, std::move(handler));
}

QString PreviewHost::unavailableText() const
{
    return m_unavailable ? m_unavailable->fullText() : QString();
}

} // namespace veltrin
