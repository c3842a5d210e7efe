#include "app/editor/PreviewModule.h"
#include "app/look/AppearancePalette.h"
#include "app/look/Symbols.h"
#include "app/window/VeltrinApp.h"
#include "platform/BookmarkFolderAccess.h"
#include "platform/BundleInfo.h"
#include "platform/DialogFolderPanel.h"
#include "platform/InodeFileAttributes.h"
#include "platform/NoFollowFileOperations.h"
#include "platform/PortalAppearance.h"
#include "platform/Preferences.h"
#include "platform/ProcRunningApplications.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"

#include <QApplication>
#include <QDir>
#include <QMainWindow>

#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <thread>

int main(int argc, char* argv[])
{
    // Fontconfig reads its configuration and font caches when the first text is measured,
    // which would hold up the first window by several milliseconds. It is thread-safe: let it
    // do that beside Qt's own start.
    const std::jthread fontConfiguration([] { FcInit(); });
    // No Qt::AA_ShareOpenGLContexts here: it makes QApplication create an OpenGL context, which
    // loads the GL driver (Mesa's with LLVM: ~60 MB). The preview module sets it up when loaded.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltrin"));
    QApplication::setOrganizationName(QStringLiteral("Veltrin"));
    veltrin::TerminationSignals::install(app);

    // One process per user, decided before anything reads or writes the user's files.
    veltrin::SingleInstance instance(veltrin::BundleInfo::current().identifier);
    switch (instance.claim()) {
    case veltrin::SingleInstance::Role::primary:
        break;
    case veltrin::SingleInstance::Role::handedOver:
        return 0;
    case veltrin::SingleInstance::Role::failed:
        std::fprintf(stderr, "veltrin: %s\n", qPrintable(instance.errorString()));
        return 1;
    }

    veltrin::Symbols::chooseIconTheme();
    // The desktop's light or dark preference, followed live through the application palette.
    veltrin::PortalAppearance appearance;
    veltrin::AppearancePalette appearancePalette(appearance);

    veltrin::SettingsPreferences preferences;
    veltrin::BookmarkFolderAccess folderAccess;
    veltrin::DialogFolderPanel folderPanel;
    veltrin::ProcRunningApplications runningApplications;
    veltrin::InodeFileAttributes fileAttributes;
    veltrin::NoFollowFileOperations files;

    veltrin::VeltrinApp veltrin({
        .preferences = preferences,
        .folderAccess = folderAccess,
        .folderPanel = folderPanel,
        .runningApplications = runningApplications,
        .fileAttributes = fileAttributes,
        .files = files,
        .homeFolder = QDir::homePath(),
    });
    QObject::connect(&instance, &veltrin::SingleInstance::activationRequested, &veltrin,
        &veltrin::VeltrinApp::bringWindowForward);
    veltrin.showWindow();
    veltrin::PreviewModule::loadAfterFirstShow(veltrin.window());
    return QApplication::exec();
}
