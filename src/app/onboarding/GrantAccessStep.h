#pragma once

#include "app/onboarding/HelpSheet.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QPushButton;

namespace veltrin {

class ElidingLabel;

// The second onboarding step: why the folder is needed, Grant Access, and the help link. When the
// flow shows because the store reported a problem, the step says what it was, on one line.
class GrantAccessStep final : public QWidget {
    Q_OBJECT

public:
    explicit GrantAccessStep(std::function<void()> onGrantAccess, QWidget* parent = nullptr);
    GrantAccessStep(
        std::function<void()> onGrantAccess, const std::optional<QString>& storeMessage, QWidget* parent);
    ~GrantAccessStep() override;
    Q_DISABLE_COPY_MOVE(GrantAccessStep)

    bool showingHelpSheet() const { return m_showingHelpSheet; }
    // Presents the help sheet while true; the sheet's own close sets it back to false.
    void setShowingHelpSheet(bool showing);
    HelpSheet* helpSheet() const { return m_helpSheet; }

    QPushButton* grantAccessButton() const { return m_grantAccessButton; }
    QPushButton* helpButton() const { return m_helpButton; }
    // The store's message as shown; null when there was none.
    ElidingLabel* storeMessageLabel() const { return m_storeMessage; }

Q_SIGNALS:
    void showingHelpSheetChanged(bool showing);

private:
    std::function<void()> m_onGrantAccess;
    bool m_showingHelpSheet = false;
    QPointer<HelpSheet> m_helpSheet;
    QPushButton* m_grantAccessButton = nullptr;
    QPushButton* m_helpButton = nullptr;
    ElidingLabel* m_storeMessage = nullptr;
};

} // namespace veltrin
