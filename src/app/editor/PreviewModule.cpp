#include "app/editor/PreviewModule.h"

#include "app/editor/PreviewView.h"
#include "platform/FirstFrame.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QOpenGLContext>
#include <QPluginLoader>
#include <QWidget>

#include <optional>

QT_BEGIN_NAMESPACE
// QtGui's own setter, which QGuiApplication uses for Qt::AA_ShareOpenGLContexts.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
QT_END_NAMESPACE

#ifndef VELTRIN_PREVIEW_MODULE_FILE
#define VELTRIN_PREVIEW_MODULE_FILE "veltrin-preview.so"
#endif
#ifndef VELTRIN_PREVIEW_MODULE_DIR
#define VELTRIN_PREVIEW_MODULE_DIR ""
#endif
#ifndef VELTRIN_PLUGIN_DIR
#define VELTRIN_PLUGIN_DIR ""
#endif

namespace veltrin {

namespace {

struct ModuleState {
    bool tried = false;
    PreviewFactory* factory = nullptr;
    QString error;
    std::optional<QStringList> searchPaths;
};

ModuleState& moduleState()
{
    static ModuleState state;
    return state;
}

QOpenGLContext* sharedContext = nullptr;

void deleteSharedContext()
{
    qt_gl_set_global_share_context(nullptr);
    delete sharedContext;
    sharedContext = nullptr;
}

// The web engine shares textures with Qt through a global OpenGL context. QGuiApplication makes
// one only when Qt::AA_ShareOpenGLContexts is set before it exists, and that context loads the GL
// driver at start-up; made here, the driver is loaded with the web engine instead.
void shareOpenGLContexts()
{
    if (QOpenGLContext::globalShareContext() || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    sharedContext = new QOpenGLContext;
    sharedContext->setFormat(QSurfaceFormat::defaultFormat());
    sharedContext->create(); // kept even when it fails (no OpenGL offscreen), as QGuiApplication does
    qt_gl_set_global_share_context(sharedContext);
    // Post routines run while the platform still exists.
    qAddPostRoutine(deleteSharedContext);
    // Widgets read the attribute when they first compose with OpenGL, which is later. Qt warns
    // that it is set late; here that is intended.
    QLoggingCategory* messages = QLoggingCategory::defaultCategory();
    const bool warnings = messages->isWarningEnabled();
    messages->setEnabled(QtWarningMsg, false);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    messages->setEnabled(QtWarningMsg, warnings);
}

void load(ModuleState& state)
{
    state.tried = true;
    const QStringList folders = PreviewModule::searchPaths();
    for (const QString& folder : folders) {
        const QString path = QDir(folder).filePath(PreviewModule::fileName());
        if (!QFileInfo::exists(path))
            continue;
        shareOpenGLContexts();
        // The loader's instance stays alive after the loader goes: plugins are never unloaded here.
        QPluginLoader loader(path);
        QObject* instance = loader.instance();
        if (!instance) {
            state.error = loader.errorString().simplified();
            return;
        }
        state.factory = qobject_cast<PreviewFactory*>(instance);
        if (!state.factory)
            state.error
                = QCoreApplication::translate("PreviewModule", "%1 is not a preview module.").arg(path);
        return;
    }
    state.error = QCoreApplication::translate("PreviewModule", "%1 was not found in %2.")
                      .arg(PreviewModule::fileName(), folders.join(QStringLiteral(", ")));
}

} // namespace

PreviewFactory* PreviewModule::factory()
{
    ModuleState& state = moduleState();
    if (!state.tried)
        load(state);
    return state.factory;
}

QString PreviewModule::errorString()
{
    return moduleState().error;
}

void PreviewModule::loadAfterFirstShow(QWidget* window)
{
    if (moduleState().tried)
        return;
    afterFirstFrame(window, window, [] { PreviewModule::factory(); });
}

QStringList PreviewModule::searchPaths()
{
    const ModuleState& state = moduleState();
    if (state.searchPaths)
        return *state.searchPaths;
    const QDir binaries(QCoreApplication::applicationDirPath());
    QStringList folders { binaries.path() };
    // Installed, the module lives in the private library folder, found relative to the executable
    // so that an unpacked package runs from any root.
    const QString installed = QStringLiteral(VELTRIN_PLUGIN_DIR);
    if (!installed.isEmpty())
        folders << QDir::cleanPath(binaries.filePath(installed));
    const QString configured = QStringLiteral(VELTRIN_PREVIEW_MODULE_DIR);
    if (!configured.isEmpty() && !folders.contains(configured))
        folders << configured;
    return folders;
}

void PreviewModule::setSearchPaths(const QStringList& folders)
{
    ModuleState& state = moduleState();
    state.searchPaths = folders;
    if (!state.factory) // a failed attempt is tried again in the new places
        state.tried = false;
}

QString PreviewModule::fileName()
{
    return QStringLiteral(VELTRIN_PREVIEW_MODULE_FILE);
}

} // namespace veltrin
