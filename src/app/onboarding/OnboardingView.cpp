#include "app/onboarding/OnboardingView.h"

#include "app/onboarding/GrantAccessStep.h"
#include "app/onboarding/WelcomeStep.h"

#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QResizeEvent>

namespace veltrin {

OnboardingView::OnboardingView(std::function<void()> onLoadSignatures, QWidget* parent)
    : OnboardingView(std::move(onLoadSignatures), std::nullopt, parent)
{
}

OnboardingView::OnboardingView(
    std::function<void()> onLoadSignatures, std::optional<QString> storeMessage, QWidget* parent)
    : QWidget(parent)
    , m_onLoadSignatures(std::move(onLoadSignatures))
    , m_storeMessage(std::move(storeMessage))
{
    showStep(false);
}

OnboardingView::~OnboardingView() = default;

void OnboardingView::setCurrentStep(int step)
{
    const bool changesStep = (step == 0) != (m_currentStep == 0);
    m_currentStep = step;
    if (changesStep)
        showStep(false);
}

void OnboardingView::continueToGrantAccess()
{
    const bool changesStep = m_currentStep == 0;
    m_currentStep = 1;
    if (changesStep)
        showStep(true);
}

bool OnboardingView::isAnimating() const
{
    return m_animation && m_animation->state() == QAbstractAnimation::Running;
}

QWidget* OnboardingView::shownStep() const
{
    return m_currentStep == 0 ? static_cast<QWidget*>(m_welcomeStep)
                              : static_cast<QWidget*>(m_grantAccessStep);
}

QWidget* OnboardingView::makeStep(bool welcome)
{
    if (welcome) {
        m_welcomeStep = new WelcomeStep([this] { continueToGrantAccess(); }, this);
        return m_welcomeStep;
    }
    // Grant Access hands the owner's action on unchanged.
    m_grantAccessStep = new GrantAccessStep(
        [this] {
            if (m_onLoadSignatures)
                m_onLoadSignatures();
        },
        m_storeMessage, this);
    return m_grantAccessStep;
}

void OnboardingView::showStep(bool animated)
{
    if (m_animation) {
        m_animation->stop();
        delete m_animation;
    }
    if (m_leavingStep)
        m_leavingStep->deleteLater();

    const bool welcome = m_currentStep == 0;
    QWidget* leaving
        = welcome ? static_cast<QWidget*>(m_grantAccessStep) : static_cast<QWidget*>(m_welcomeStep);
    if (welcome)
        m_grantAccessStep = nullptr;
    else
        m_welcomeStep = nullptr;

    QWidget* entering = makeStep(welcome);
    entering->setGeometry(rect());
    entering->show();
    updateGeometry();
    // Focus follows the step: its button takes it, also from the step sliding out.
    setFocusProxy(entering);
    if (leaving)
        entering->setFocus();

    if (!leaving)
        return;
    if (!animated || width() <= 0) {
        leaving->hide();
        leaving->deleteLater();
        return;
    }

    // The welcome step lives at the leading edge, the grant-access step at the trailing one:
    // each slides in from and out towards its own side.
    const bool rightToLeft = layoutDirection() == Qt::RightToLeft;
    const int leadingOffset = rightToLeft ? width() : -width();
    const int enteringFrom = welcome ? leadingOffset : -leadingOffset;
    const int leavingTo = welcome ? -leadingOffset : leadingOffset;

    m_leavingStep = leaving;
    auto* group = new QParallelAnimationGroup(this);
    auto* enter = new QPropertyAnimation(entering, "pos", group);
    enter->setDuration(stepChangeMilliseconds);
    enter->setEasingCurve(QEasingCurve::InOutQuad);
    enter->setStartValue(QPoint(enteringFrom, 0));
    enter->setEndValue(QPoint(0, 0));
    auto* leave = new QPropertyAnimation(leaving, "pos", group);
    leave->setDuration(stepChangeMilliseconds);
    leave->setEasingCurve(QEasingCurve::InOutQuad);
    leave->setStartValue(leaving->pos());
    leave->setEndValue(QPoint(leavingTo, 0));
    entering->move(enteringFrom, 0);
    connect(group, &QAbstractAnimation::finished, this, [this] {
        if (m_leavingStep) {
            m_leavingStep->hide();
            m_leavingStep->deleteLater();
        }
    });
    m_animation = group;
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

QSize OnboardingView::sizeHint() const
{
    const QWidget* step = shownStep();
    return step ? step->sizeHint() : QWidget::sizeHint();
}

QSize OnboardingView::minimumSizeHint() const
{
    const QWidget* step = shownStep();
    return step ? step->minimumSizeHint() : QWidget::minimumSizeHint();
}

void OnboardingView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (QWidget* step = shownStep())
        step->setGeometry(isAnimating() ? QRect(step->pos(), size()) : rect());
    if (m_leavingStep)
        m_leavingStep->resize(size());
}

} // namespace veltrin
