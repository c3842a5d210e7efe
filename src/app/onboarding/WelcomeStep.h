#pragma once

#include <QList>
#include <QWidget>

#include <functional>

class QPushButton;

namespace veltrin {

class FeatureColumn;

// The first onboarding step: what Veltrin does, and Continue.
class WelcomeStep final : public QWidget {
    Q_OBJECT

public:
    explicit WelcomeStep(std::function<void()> onContinue, QWidget* parent = nullptr);
    ~WelcomeStep() override;
    Q_DISABLE_COPY_MOVE(WelcomeStep)

    QPushButton* continueButton() const { return m_continueButton; }
    QList<FeatureColumn*> featureColumns() const { return m_columns; }

private:
    std::function<void()> m_onContinue;
    QPushButton* m_continueButton = nullptr;
    QList<FeatureColumn*> m_columns;
};

} // namespace veltrin
