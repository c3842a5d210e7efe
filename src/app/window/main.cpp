#include "app/editor/PreviewModule.h"
#include "app/look/AppearancePalette.h"
#include "app/look/Symbols.h"
#include "app/window/VeltrinApp.h"
#include "platform/BookmarkFolderAccess.h"
#include "platform/DialogFolderPanel.h"
#include "platform/PortalAppearance.h"
#include "platform/Preferences.h"
#include "platform/ProcRunningApplications.h"

#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalSocket[2] = { -1, -1 };

void forwardSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalSocket[0], &byte, 1);
}

// SIGTERM and SIGINT end the event loop like "Quit Veltrin", so that aboutToQuit runs.
void quitOnTerminationSignals(QCoreApplication& app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalSocket) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalSocket[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier] {
        notifier->setEnabled(false);
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(signalSocket[1], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action { };
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

} // namespace

int main(int argc, char* argv[])
{
    // The web engine, loaded later, needs this before the QApplication exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltrin"));
    QApplication::setOrganizationName(QStringLiteral("Veltrin"));
    quitOnTerminationSignals(app);
    veltrin::Symbols::chooseIconTheme();
    // The desktop's light or dark preference, followed live through the application palette.
    veltrin::PortalAppearance appearance;
    veltrin::AppearancePalette appearancePalette(appearance);

    veltrin::SettingsPreferences preferences;
    veltrin::BookmarkFolderAccess folderAccess;
    veltrin::DialogFolderPanel folderPanel;
    veltrin::ProcRunningApplications runningApplications;

    veltrin::VeltrinApp veltrin({
        .preferences = preferences,
        .folderAccess = folderAccess,
        .folderPanel = folderPanel,
        .runningApplications = runningApplications,
        .homeFolder = QDir::homePath(),
    });
    veltrin.showWindow();
    veltrin::PreviewModule::loadAfterFirstShow(veltrin.window());
    return QApplication::exec();
}
