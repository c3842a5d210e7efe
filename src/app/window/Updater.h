#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

namespace veltrin {

class UpdateFramework;

// Owns the application's update framework and mirrors whether it can check for updates now.
class Updater final : public QObject {
    Q_OBJECT

public:
    // The local stand-in, answering checks with a message window.
    explicit Updater(QObject* parent = nullptr);
    // Takes an already started framework; tests hand in their own.
    explicit Updater(std::unique_ptr<UpdateFramework> controller, QObject* parent = nullptr);
    ~Updater() override;
    Q_DISABLE_COPY_MOVE(Updater)

    UpdateFramework& controller() const { return *m_controller; }
    // The window that the stand-in's answer belongs to; it is made after the updater.
    void setDialogParent(QWidget* parent) { m_dialogParent = parent; }
    bool canCheckForUpdates() const { return m_canCheckForUpdates; }

Q_SIGNALS:
    void objectWillChange();
    void canCheckForUpdatesChanged(bool canCheck);

private:
    void setCanCheckForUpdates(bool canCheck);

    void showCheckResult(const QString& title, const QString& text, std::function<void()> finished);

    QPointer<QWidget> m_dialogParent;
    std::unique_ptr<UpdateFramework> m_controller;
    bool m_canCheckForUpdates = false;
};

} // namespace veltrin
