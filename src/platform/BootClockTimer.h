#pragma once

#include "ContinuousTimer.h"

class QSocketNotifier;

namespace veltrin {

// A timerfd on CLOCK_BOOTTIME with an absolute deadline, watched by the event loop: the thread
// sleeps until the deadline (or the wake after a suspend that passed it) and wakes once.
// Without a timer descriptor (none left), it never fires.
class BootClockTimer final : public ContinuousTimer {
    Q_OBJECT

public:
    explicit BootClockTimer(QObject* parent = nullptr);
    ~BootClockTimer() override;
    Q_DISABLE_COPY_MOVE(BootClockTimer)

    std::chrono::milliseconds now() const override;
    void arm(std::chrono::milliseconds deadline) override;
    void disarm() override;

    bool isValid() const { return m_fd >= 0; }

private:
    void expired();

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace veltrin
