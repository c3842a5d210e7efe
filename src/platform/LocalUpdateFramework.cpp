#include "LocalUpdateFramework.h"

#include "BundleInfo.h"

#include <QCoreApplication>
#include <QPointer>

namespace veltrin {

LocalUpdateFramework::LocalUpdateFramework(Presenter presenter, QObject* parent)
    : UpdateFramework(parent)
    , m_presenter(std::move(presenter))
{
    // Started on creation: nothing to set up before the first check.
    m_canCheck = true;
}

LocalUpdateFramework::~LocalUpdateFramework() = default;

QString LocalUpdateFramework::checkTitle()
{
    return QCoreApplication::translate("LocalUpdateFramework", "Check for Updates");
}

QString LocalUpdateFramework::checkText(const QString& installedVersion)
{
    return QCoreApplication::translate("LocalUpdateFramework",
        "Veltrin %1 is installed.\n\nUpdates come from your system's package manager.")
        .arg(installedVersion);
}

void LocalUpdateFramework::checkForUpdates()
{
    if (!m_canCheck)
        return;
    setCanCheck(false);
    const BundleInfo bundle = BundleInfo::current();
    const QString version = bundle.version.isEmpty() || bundle.version == bundle.shortVersion
        ? bundle.shortVersion
        : QStringLiteral("%1 (%2)").arg(bundle.shortVersion, bundle.version);
    QPointer<LocalUpdateFramework> self(this);
    const auto finished = [self] {
        if (self)
            self->setCanCheck(true);
    };
    if (m_presenter)
        m_presenter(checkTitle(), checkText(version), finished);
    else
        finished();
}

void LocalUpdateFramework::setCanCheck(bool canCheck)
{
    if (canCheck == m_canCheck)
        return;
    m_canCheck = canCheck;
    Q_EMIT canCheckForUpdatesChanged(canCheck);
}

} // namespace veltrin
