#include "app/window/Updater.h"

#include "platform/LocalUpdateFramework.h"

#include <QMessageBox>
#include <QPointer>

namespace veltrin {

Updater::Updater(QObject* parent)
    : Updater(std::make_unique<LocalUpdateFramework>(
                  [this](const QString& title, const QString& text, std::function<void()> finished) {
                      showCheckResult(title, text, std::move(finished));
                  }),
        parent)
{
}

Updater::Updater(std::unique_ptr<UpdateFramework> controller, QObject* parent)
    : QObject(parent)
    , m_controller(std::move(controller))
{
    setCanCheckForUpdates(false);
    // The current value at once, then every change.
    setCanCheckForUpdates(m_controller->canCheckForUpdates());
    connect(m_controller.get(), &UpdateFramework::canCheckForUpdatesChanged, this,
        &Updater::setCanCheckForUpdates);
}

Updater::~Updater() = default;

// Non-modal, so that the window stays usable while the answer is shown; parented to the window,
// so that it opens over it and does not keep the application running once the window is closed.
void Updater::showCheckResult(const QString& title, const QString& text, std::function<void()> finished)
{
    auto* box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok, m_dialogParent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->setWindowModality(Qt::NonModal);
    connect(box, &QMessageBox::finished, box, [finished = std::move(finished)] { finished(); });
    box->show();
}

void Updater::setCanCheckForUpdates(bool canCheck)
{
    Q_EMIT objectWillChange();
    m_canCheckForUpdates = canCheck;
    Q_EMIT canCheckForUpdatesChanged(canCheck);
}

} // namespace veltrin
