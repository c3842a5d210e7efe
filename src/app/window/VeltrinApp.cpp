#include "app/window/VeltrinApp.h"

#include "app/onboarding/HelpSheet.h"
#include "app/window/CheckForUpdatesCommand.h"
#include "app/window/ContentView.h"
#include "app/window/EditCommands.h"
#include "app/window/Updater.h"
#include "platform/BundleInfo.h"
#include "platform/FirstFrame.h"
#include "telemetry/Tracker.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QVBoxLayout>

#include <utility>

namespace veltrin {

namespace {

QDialog* makeAboutBox(QWidget* parent)
{
    const BundleInfo bundle = BundleInfo::current();
    auto* box = new QDialog(parent);
    box->setWindowTitle(VeltrinApp::tr("About Veltrin"));

    auto* icon = new QLabel(box);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setPixmap(VeltrinApp::icon().pixmap(QSize(96, 96)));
    icon->setAlignment(Qt::AlignCenter);

    auto* name = new QLabel(QStringLiteral("Veltrin"), box);
    name->setObjectName(QStringLiteral("name"));
    QFont nameFont = name->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.6);
    nameFont.setBold(true);
    name->setFont(nameFont);
    name->setAlignment(Qt::AlignCenter);
    name->setMinimumWidth(256);

    auto* version
        = new QLabel(VeltrinApp::tr("Version %1 (%2)").arg(bundle.shortVersion, bundle.version), box);
    version->setObjectName(QStringLiteral("version"));
    version->setAlignment(Qt::AlignCenter);
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, box);
    QObject::connect(buttons, &QDialogButtonBox::rejected, box, &QDialog::reject);

    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(32, 24, 32, 16);
    layout->setSpacing(8);
    layout->addWidget(icon);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addSpacing(8);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    return box;
}

} // namespace

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

    // The desktop entry names the window's application, so docks show its icon and name.
    QGuiApplication::setDesktopFileName(BundleInfo::current().identifier);
    m_window = std::make_unique<QMainWindow>();
    m_window->setWindowTitle(QStringLiteral("Veltrin"));
    m_window->installEventFilter(this);
    // Sees the application's quit before the quit closes the window.
    QCoreApplication::instance()->installEventFilter(this);
    m_updater->setDialogParent(m_window.get());
    m_contentView = new ContentView(m_services.preferences, m_services.folderAccess, m_services.folderPanel,
        m_services.runningApplications, m_services.fileAttributes, m_services.files, m_services.homeFolder,
        m_window.get());
    m_window->setCentralWidget(m_contentView);
    buildMenus();
}

VeltrinApp::~VeltrinApp()
{
    // The window (and the view's service) goes before the updater it shows.
    m_window.reset();
}

QIcon VeltrinApp::icon()
{
    return QIcon::fromTheme(
        BundleInfo::current().identifier, QIcon(QStringLiteral(":/icons/org.veltrin.Veltrin.svg")));
}

void VeltrinApp::showWindow()
{
    m_window->resize(m_window->sizeHint().expandedTo(m_window->minimumSizeHint()));
    // Looking the icon up in the icon themes costs as much as a tenth of the start; the
    // window manager takes the icon as well a moment after the window appears.
    if (!std::exchange(m_iconRequested, true))
        afterFirstFrame(m_window.get(), m_window.get(), [this] { m_window->setWindowIcon(icon()); });
    m_window->show();
}

void VeltrinApp::bringWindowForward()
{
    if (m_window->isMinimized())
        m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    // Window managers may refuse focus to a window the user did not click; then ask for attention.
    if (!m_window->isActiveWindow())
        QApplication::alert(m_window.get());
}

void VeltrinApp::buildMenus()
{
    QMenuBar* bar = m_window->menuBar();

    // Alt+V belongs to View.
    m_applicationMenu = bar->addMenu(tr("Vel&trin"));
    QAction* about = m_applicationMenu->addAction(tr("About Veltrin"), this, &VeltrinApp::showAbout);
    about->setMenuRole(QAction::AboutRole);
    m_checkForUpdates = new CheckForUpdatesCommand(*m_updater, m_applicationMenu);
    m_applicationMenu->addAction(m_checkForUpdates);
    m_applicationMenu->addSeparator();
    QAction* quit = m_applicationMenu->addAction(tr("Quit Veltrin"), this, &VeltrinApp::quit);
    quit->setMenuRole(QAction::QuitRole);
    quit->setShortcut(QKeySequence::Quit);

    // The standard File menu without its New item. "Save to Mail" is the editor's button, enabled
    // with it, and asks first while Mail runs as the button does.
    m_fileMenu = bar->addMenu(tr("&File"));
    m_saveToMail = m_fileMenu->addAction(tr("Save to Mail"), m_contentView, &ContentView::saveTapped);
    m_saveToMail->setShortcut(QKeySequence::Save);
    m_saveToMail->setEnabled(m_contentView->canSave());
    connect(m_contentView, &ContentView::canSaveChanged, m_saveToMail, &QAction::setEnabled);
    m_close = m_fileMenu->addAction(tr("Close"), m_window.get(), &QWidget::close);
    m_close->setShortcut(QKeySequence::Close);

    m_editMenu = bar->addMenu(tr("&Edit"));
    m_editCommands = new EditCommands(*m_window, *m_editMenu);

    m_viewMenu = bar->addMenu(tr("&View"));
    m_fullScreen = m_viewMenu->addAction(QString(), this,
        [this] { m_window->setWindowState(m_window->windowState() ^ Qt::WindowFullScreen); });
    m_fullScreen->setShortcut(QKeySequence::FullScreen);
    updateFullScreenText();

    m_windowMenu = bar->addMenu(tr("&Window"));
    m_windowMenu->addAction(tr("Minimize"), m_window.get(), &QWidget::showMinimized);
    m_windowMenu->addAction(tr("Zoom"), this,
        [this] { m_window->setWindowState(m_window->windowState() ^ Qt::WindowMaximized); });

    m_helpMenu = bar->addMenu(tr("&Help"));
    QAction* help = m_helpMenu->addAction(tr("Veltrin Help"), this, &VeltrinApp::showHelp);
    help->setShortcut(QKeySequence::HelpContents);
}

void VeltrinApp::updateFullScreenText()
{
    m_fullScreen->setText(m_window->isFullScreen() ? tr("Exit Full Screen") : tr("Enter Full Screen"));
}

bool VeltrinApp::eventFilter(QObject* watched, QEvent* event)
{
    // The menu's quit has asked already; a quit from a signal must not wait for an answer.
    if (event->type() == QEvent::Quit && watched == QCoreApplication::instance())
        m_closeWithoutAsking = true;
    if (watched != m_window.get())
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::WindowStateChange:
        updateFullScreenText();
        break;
    case QEvent::Show:
        m_closeWithoutAsking = false;
        break;
    case QEvent::Close:
        if (!m_closeWithoutAsking && m_contentView->holdsUnsavedChanges()) {
            event->ignore();
            m_contentView->askBeforeLeaving([this](bool leave) {
                if (!leave)
                    return;
                m_closeWithoutAsking = true;
                m_window->close();
            });
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void VeltrinApp::quit()
{
    m_contentView->askBeforeLeaving([](bool leave) {
        if (leave)
            QCoreApplication::quit();
    });
}

void VeltrinApp::showAbout()
{
    if (!m_aboutBox) {
        m_aboutBox = makeAboutBox(m_window.get());
        m_aboutBox->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_aboutBox->show();
    m_aboutBox->raise();
    m_aboutBox->activateWindow();
}

void VeltrinApp::showHelp()
{
    if (!m_helpSheet) {
        m_helpSheet = new HelpSheet(m_window.get());
        m_helpSheet->setAttribute(Qt::WA_DeleteOnClose);
        m_helpSheet->open();
    }
    m_helpSheet->raise();
    m_helpSheet->activateWindow();
}

} // namespace veltrin
