#include "app/window/CheckForUpdatesCommand.h"

#include "app/window/Updater.h"
#include "platform/UpdateFramework.h"

namespace veltrin {

CheckForUpdatesCommand::CheckForUpdatesCommand(Updater& updater, QObject* parent)
    : QAction(tr("Check for Updates\u2026"), parent)
    , m_updater(updater)
{
    setMenuRole(QAction::ApplicationSpecificRole);
    setEnabled(updater.canCheckForUpdates());
    connect(&updater, &Updater::canCheckForUpdatesChanged, this, &QAction::setEnabled);
    connect(this, &QAction::triggered, this, [this] { m_updater.controller().checkForUpdates(); });
}

CheckForUpdatesCommand::~CheckForUpdatesCommand() = default;

} // namespace veltrin
