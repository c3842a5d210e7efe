// The preview module's entry: the only way the application reaches the web engine.
#include "app/editor/PreviewView.h"
#include "preview/HTMLPreviewView.h"

#include <QObject>

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

    PreviewView* createPreview(QWidget* parent) override { return new HTMLPreviewView(parent); }
};

} // namespace veltrin

#include "PreviewPlugin.moc"
