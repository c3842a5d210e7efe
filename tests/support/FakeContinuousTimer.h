#pragma once

#include "platform/ContinuousTimer.h"

namespace veltrin::test {

// A continuous clock moved by hand. It fires (and counts a wake) only when advance() reaches
// its deadline, however small the steps, as a thread asleep until the deadline would wake.
class FakeContinuousTimer final : public ContinuousTimer {
public:
    explicit FakeContinuousTimer(std::chrono::milliseconds start = std::chrono::milliseconds(0))
        : m_now(start)
    {
    }

    std::chrono::milliseconds now() const override { return m_now; }
    void arm(std::chrono::milliseconds deadline) override
    {
        m_deadline = deadline;
        m_armed = true;
        ++m_arms;
    }
    void disarm() override { m_armed = false; }

    // Moves the clock on in one step; a deadline passed on the way fires once, at the end.
    void advance(std::chrono::milliseconds by)
    {
        m_now += by;
        // A handler that arms a deadline already reached fires again, as the real timer does.
        for (int fires = 0; m_armed && m_deadline <= m_now && fires < 1000; ++fires) {
            m_armed = false;
            ++m_wakes;
            Q_EMIT timeout();
        }
    }

    bool isArmed() const { return m_armed; }
    std::chrono::milliseconds deadline() const { return m_deadline; }
    int wakes() const { return m_wakes; }
    int arms() const { return m_arms; }

private:
    std::chrono::milliseconds m_now;
    std::chrono::milliseconds m_deadline {};
    bool m_armed = false;
    int m_wakes = 0;
    int m_arms = 0;
};

} // namespace veltrin::test
