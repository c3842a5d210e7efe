#include "app/editor/PreviewHost.h"

#include "app/editor/PreviewModule.h"
#include "app/look/ElidingLabel.h"

#include <QVBoxLayout>

namespace veltrin {

PreviewView* createPreviewView(QWidget* parent)
{
    return new PreviewHost(parent);
}

PreviewHost::PreviewHost(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("previewHost"));
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

void PreviewHost::setLoadFinishedHandler(std::function<void(bool)> handler)
{
    connect(this, &PreviewHost::loadFinished, this, std::move(handler));
}

QString PreviewHost::unavailableText() const
{
    return m_unavailable ? m_unavailable->fullText() : QString();
}

} // namespace veltrin
