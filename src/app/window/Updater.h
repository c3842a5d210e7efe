#pragma once

#include <QObject>

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
    bool canCheckForUpdates() const { return m_canCheckForUpdates; }

Q_SIGNALS:
    void objectWillChange();
    void canCheckForUpdatesChanged(bool canCheck);

private:
    void setCanCheckForUpdates(bool canCheck);

    std::unique_ptr<UpdateFramework> m_controller;
    bool m_canCheckForUpdates = false;
};

} // namespace veltrin
