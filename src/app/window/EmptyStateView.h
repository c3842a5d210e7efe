#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace veltrin {

// Shown when the last recomputation found neither a problem nor a signature: says where Mail
// creates signatures and offers to scan the folder again.
class EmptyStateView final : public QWidget {
    Q_OBJECT

public:
    explicit EmptyStateView(std::function<void()> onRescan, QWidget* parent = nullptr);
    ~EmptyStateView() override;
    Q_DISABLE_COPY_MOVE(EmptyStateView)

    QPushButton* rescanButton() const { return m_rescanButton; }
    QLabel* hintLabel() const { return m_hintLabel; }

private:
    std::function<void()> m_onRescan;
    QPushButton* m_rescanButton = nullptr;
    QLabel* m_hintLabel = nullptr;
};

} // namespace veltrin
