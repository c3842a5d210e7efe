#pragma once

#include <QObject>

namespace veltrin {

// The application's update machinery: an updater that is started when made, tells whether a
// check may start now, and starts one when asked. Everything after that is its own business.
class UpdateFramework : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~UpdateFramework() override = default;
    Q_DISABLE_COPY_MOVE(UpdateFramework)

    virtual bool canCheckForUpdates() const = 0;
    virtual void checkForUpdates() = 0;

Q_SIGNALS:
    // Emitted on the main thread whenever canCheckForUpdates() changes.
    void canCheckForUpdatesChanged(bool canCheck);
};

} // namespace veltrin
