#include "platform/FirstFrame.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace veltrin {

namespace {

class FirstFrameWatcher final : public QObject {
public:
    FirstFrameWatcher(QWindow* window, QObject* context, std::function<void()> action)
        : QObject(window)
        , m_context(context)
        , m_action(std::move(action))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            // The exposure is answered by the first paint; the work comes after it. The watcher
            // goes now: the work may make Qt recreate the native window, which owns it.
            if (m_context)
                QTimer::singleShot(0, m_context, std::move(m_action));
            deleteLater();
        }
        return false;
    }

private:
    QPointer<QObject> m_context;
    std::function<void()> m_action;
};

} // namespace

void afterFirstFrame(QWidget* window, QObject* context, std::function<void()> action)
{
    window->winId(); // makes the native window, so there is something to watch
    new FirstFrameWatcher(window->windowHandle(), context, std::move(action));
}

} // namespace veltrin
