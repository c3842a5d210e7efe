#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QMainWindow;
class QMenu;

namespace veltrin {

class CheckForUpdatesCommand;
class ContentView;
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
        QString homeFolder;
        // Tracker::shared().start() when empty.
        std::function<void()> startTelemetry = {};
        // The local update stand-in when empty.
        std::function<std::unique_ptr<Updater>()> makeUpdater = {};
    };

    explicit VeltrinApp(Services services, QObject* parent = nullptr);
    ~VeltrinApp() override;
    Q_DISABLE_COPY_MOVE(VeltrinApp)

    void showWindow();

    Updater& updater() const { return *m_updater; }
    QMainWindow* window() const { return m_window.get(); }
    ContentView* contentView() const { return m_contentView; }
    QMenu* applicationMenu() const { return m_applicationMenu; }
    QMenu* fileMenu() const { return m_fileMenu; }
    CheckForUpdatesCommand* checkForUpdatesCommand() const { return m_checkForUpdates; }

private:
    void buildMenus();
    void showAbout();

    Services m_services;
    std::unique_ptr<Updater> m_updater;
    std::unique_ptr<QMainWindow> m_window;
    ContentView* m_contentView = nullptr;
    QMenu* m_applicationMenu = nullptr;
    QMenu* m_fileMenu = nullptr;
    CheckForUpdatesCommand* m_checkForUpdates = nullptr;
    QPointer<QWidget> m_aboutBox;
};

} // namespace veltrin
