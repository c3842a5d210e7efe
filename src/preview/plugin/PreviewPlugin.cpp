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
    PreviewPlugin()
    {
        HTMLPreviewView::registerUrlScheme();
        allowPageAccessibility();
    }
    ~PreviewPlugin() override = default;
    Q_DISABLE_COPY_MOVE(PreviewPlugin)

    PreviewView* createPreview(QWidget* parent) override { return new HTMLPreviewView(parent); }

private:
    // Qt WebEngine 6.4 on Linux builds no accessibility tree for its pages unless this variable is
    // set when its first page is made: a screen reader then meets an empty document. With it set,
    // the page's tree is still built only while an assistive technology is active.
    static void allowPageAccessibility()
    {
        if (!qEnvironmentVariableIsSet("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY"))
            qputenv("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY", "1");
    }
};

} // namespace veltrin

#include "PreviewPlugin.moc"
