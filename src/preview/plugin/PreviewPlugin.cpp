// The preview module's entry: the only way the application reaches the web engine.
#include "app/editor/PreviewView.h"
#include "preview/HTMLPreviewView.h"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>

#include <utility>

namespace veltrin {

class PreviewPlugin final : public QObject, public PreviewFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID VeltrinPreviewFactory_iid)
    Q_INTERFACES(veltrin::PreviewFactory)

public:
    // The module is loaded before any web engine profile exists, which is when the scheme must
    // be registered.
    PreviewPlugin() { HTMLPreviewView::registerUrlScheme(); }
    ~PreviewPlugin() override = default;
    Q_DISABLE_COPY_MOVE(PreviewPlugin)

    PreviewView* createPreview(QWidget* parent) override
    {
        if (HTMLPreviewView* spare = std::exchange(m_spare, nullptr)) {
            spare->setParent(parent);
            return spare;
        }
        return new HTMLPreviewView(parent);
    }

    void prepare() override
    {
        if (m_spare)
            return;
        // An empty page in a hidden view: the engine starts its page process for it, and the view
        // waits for the first signature.
        m_spare = new HTMLPreviewView;
        m_spare->updatePage(QString(), ColorScheme::light);
        // The engine wants its pages gone before it shuts down.
        if (!std::exchange(m_quitWatched, true))
            connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { delete m_spare; });
    }

private:
    QPointer<HTMLPreviewView> m_spare;
    bool m_quitWatched = false;
};

} // namespace veltrin

#include "PreviewPlugin.moc"
