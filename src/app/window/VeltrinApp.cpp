#include "app/window/VeltrinApp.h"

#include "app/window/CheckForUpdatesCommand.h"
#include "app/window/ContentView.h"
#include "app/window/Updater.h"
#include "platform/BundleInfo.h"
#include "telemetry/Tracker.h"

#include <QAction>
#include <QCoreApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

namespace veltrin {

VeltrinApp::VeltrinApp(Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
{
    // Telemetry first: before the updater and before any window.
    if (m_services.startTelemetry)
        m_services.startTelemetry();
    else
        Tracker::shared().start();

    m_updater = m_services.makeUpdater ? m_services.makeUpdater() : std::make_unique<Updater>();

    m_window = std::make_unique<QMainWindow>();
    m_window->setWindowTitle(QStringLiteral("Veltrin"));
    m_contentView = new ContentView(m_services.preferences, m_services.folderAccess, m_services.folderPanel,
        m_services.runningApplications, m_services.homeFolder, m_window.get());
    m_window->setCentralWidget(m_contentView);
    buildMenus();
}

VeltrinApp::~VeltrinApp()
{
    delete m_aboutBox;
    // The window (and the view's service) goes before the updater it shows.
    m_window.reset();
}

void VeltrinApp::showWindow()
{
    m_window->resize(m_window->sizeHint().expandedTo(m_window->minimumSizeHint()));
    m_window->show();
}

void VeltrinApp::buildMenus()
{
    QMenuBar* bar = m_window->menuBar();

    m_applicationMenu = bar->addMenu(QStringLiteral("Veltrin"));
    QAction* about = m_applicationMenu->addAction(tr("About Veltrin"), this, &VeltrinApp::showAbout);
    about->setMenuRole(QAction::AboutRole);
    m_checkForUpdates = new CheckForUpdatesCommand(*m_updater, m_applicationMenu);
    m_applicationMenu->addAction(m_checkForUpdates);
    m_applicationMenu->addSeparator();
    QAction* quit = m_applicationMenu->addAction(tr("Quit Veltrin"), qApp, &QCoreApplication::quit);
    quit->setMenuRole(QAction::QuitRole);
    quit->setShortcut(QKeySequence::Quit);

    // The standard File menu without its New item.
    m_fileMenu = bar->addMenu(tr("File"));
    QAction* close = m_fileMenu->addAction(tr("Close"), m_window.get(), &QWidget::close);
    close->setShortcut(QKeySequence::Close);
}

void VeltrinApp::showAbout()
{
    if (m_aboutBox) {
        m_aboutBox->raise();
        m_aboutBox->activateWindow();
        return;
    }
    const BundleInfo bundle = BundleInfo::current();
    auto* box = new QMessageBox(QMessageBox::NoIcon, tr("About Veltrin"),
        tr("Veltrin\nVersion %1 (%2)").arg(bundle.shortVersion, bundle.version), QMessageBox::Ok,
        m_window.get());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    m_aboutBox = box;
    box->show();
}

} // namespace veltrin
