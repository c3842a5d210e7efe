#pragma once

#include "app/onboarding/GrantAccessStep.h"
#include "app/onboarding/WelcomeStep.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QParallelAnimationGroup;

namespace veltrin {

// The onboarding flow: the welcome step, then the grant-access step. Its only way out is
// onLoadSignatures, run by Grant Access; which state follows is the owner's decision.
class OnboardingView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int stepChangeMilliseconds = 300;

    explicit OnboardingView(std::function<void()> onLoadSignatures, QWidget* parent = nullptr);
    // storeMessage: the problem the store reported, shown by the grant-access step.
    OnboardingView(
        std::function<void()> onLoadSignatures, std::optional<QString> storeMessage, QWidget* parent);
    ~OnboardingView() override;
    Q_DISABLE_COPY_MOVE(OnboardingView)

    int currentStep() const { return m_currentStep; }
    // 0 shows the welcome step, any other value the grant-access step; shown at once.
    void setCurrentStep(int step);
    // What Continue does: step 1, the change of steps animated.
    void continueToGrantAccess();

    // The step shown for currentStep(); during a step change the one sliding in.
    WelcomeStep* welcomeStep() const { return m_welcomeStep; }
    GrantAccessStep* grantAccessStep() const { return m_grantAccessStep; }
    bool isAnimating() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showStep(bool animated);
    QWidget* makeStep(bool welcome);
    QWidget* shownStep() const;

    std::function<void()> m_onLoadSignatures;
    std::optional<QString> m_storeMessage;
    int m_currentStep = 0;
    QPointer<WelcomeStep> m_welcomeStep;
    QPointer<GrantAccessStep> m_grantAccessStep;
    QPointer<QWidget> m_leavingStep;
    QPointer<QParallelAnimationGroup> m_animation;
};

} // namespace veltrin
