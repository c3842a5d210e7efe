#pragma once

#include "app/onboarding/HelpSheet.h"

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QIcon;
class QMainWindow;
class QMenu;

namespace veltrin {

class CheckForUpdatesCommand;
class ContentView;
class EditCommands;
class FileAttributes;
class FileOperations;
class FolderAccess;
class FolderPanel;
class Preferences;
class RunningApplications;
class Updater;

// The application: starts the telemetry, makes the updater, then the one window with its
// menus. The services come from main() (the real ones) or from a test (fakes).
class VeltrinApp final : public QObject {
    Q_OBJECT

public:
    struct Services {
        Preferences& preferences;
        FolderAccess& folderAccess;
        FolderPanel& folderPanel;
        RunningApplications& runningApplications;
        // Every signature file is read, written and locked through these.
        FileAttributes& fileAttributes;
        FileOperations& files;
        QString homeFolder;
        // Tracker::shared().start() when empty.
        std::function<void()> startTelemetry = {};
        // The local update stand-in when empty.
        std::function<std::unique_ptr<Updater>()> makeUpdater = {};
    };

    explicit VeltrinApp(Services services, QObject* parent = nullptr);
    ~VeltrinApp() override;
    Q_DISABLE_COPY_MOVE(VeltrinApp)

    // The application's icon: the installed theme's, else the one built in.
    static QIcon icon();

    // Shows the window; its icon follows the first frame.
    void showWindow();
    // Another launch asked for this process: show, raise and activate the window, and ask for
    // the user's attention where the window manager refuses to activate it.
    void bringWindowForward();

    Updater& updater() const { return *m_updater; }
    QMainWindow* window() const { return m_window.get(); }
    ContentView* contentView() const { return m_contentView; }
    QMenu* applicationMenu() const { return m_applicationMenu; }
    QMenu* fileMenu() const { return m_fileMenu; }
    QMenu* editMenu() const { return m_editMenu; }
    QMenu* viewMenu() const { return m_viewMenu; }
    QMenu* windowMenu() const { return m_windowMenu; }
    QMenu* helpMenu() const { return m_helpMenu; }
    EditCommands* editCommands() const { return m_editCommands; }
    QAction* fullScreenAction() const { return m_fullScreen; }
    QAction* saveToMailAction() const { return m_saveToMail; }
    QAction* closeAction() const { return m_close; }
    CheckForUpdatesCommand* checkForUpdatesCommand() const { return m_checkForUpdates; }
    QDialog* aboutBox() const { return m_aboutBox; }
    HelpSheet* helpSheet() const { return m_helpSheet; }

    void showAbout();
    void showHelp();
    // "Quit Veltrin": asks about unsaved edits first. A quit from elsewhere (a signal) doesn't.
    void quit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void updateFullScreenText();

    Services m_services;
    std::unique_ptr<Updater> m_updater;
    std::unique_ptr<QMainWindow> m_window;
    ContentView* m_contentView = nullptr;
    QMenu* m_applicationMenu = nullptr;
    QMenu* m_fileMenu = nullptr;
    QMenu* m_editMenu = nullptr;
    QMenu* m_viewMenu = nullptr;
    QMenu* m_windowMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    EditCommands* m_editCommands = nullptr;
    QAction* m_fullScreen = nullptr;
    QAction* m_saveToMail = nullptr;
    QAction* m_close = nullptr;
    bool m_iconRequested = false;
    CheckForUpdatesCommand* m_checkForUpdates = nullptr;
    QPointer<QDialog> m_aboutBox;
    QPointer<HelpSheet> m_helpSheet;
    // Set once the user has answered about unsaved edits, or when the application quits.
    bool m_closeWithoutAsking = false;
};

} // namespace veltrin
