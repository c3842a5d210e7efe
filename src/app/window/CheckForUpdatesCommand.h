#pragma once

#include <QAction>

namespace veltrin {

class Updater;

// "Check for Updates…": enabled while the updater can check; each choice asks for one check.
class CheckForUpdatesCommand final : public QAction {
    Q_OBJECT

public:
    explicit CheckForUpdatesCommand(Updater& updater, QObject* parent = nullptr);
    ~CheckForUpdatesCommand() override;
    Q_DISABLE_COPY_MOVE(CheckForUpdatesCommand)

private:
    Updater& m_updater;
};

} // namespace veltrin
