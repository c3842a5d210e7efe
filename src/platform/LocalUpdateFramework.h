#pragma once

#include "UpdateFramework.h"

#include <QString>

#include <functional>

namespace veltrin {

// Installed from the system's packages, the application has nothing to download itself: a
// check tells the user which version is installed and where updates come from. Ready once
// started; not ready while the user has the answer in front of them.
class LocalUpdateFramework final : public UpdateFramework {
    Q_OBJECT

public:
    // Shows the text to the user without blocking and calls finished once they have closed it.
    using Presenter
        = std::function<void(const QString& title, const QString& text, std::function<void()> finished)>;

    explicit LocalUpdateFramework(Presenter presenter, QObject* parent = nullptr);
    ~LocalUpdateFramework() override;
    Q_DISABLE_COPY_MOVE(LocalUpdateFramework)

    bool canCheckForUpdates() const override { return m_canCheck; }
    void checkForUpdates() override;

    static QString checkTitle();
    static QString checkText(const QString& installedVersion);

private:
    void setCanCheck(bool canCheck);

    Presenter m_presenter;
    bool m_canCheck = false;
};

} // namespace veltrin
