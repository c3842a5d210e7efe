#pragma once

#include <QObject>

#include <chrono>

namespace veltrin {

// A single-shot timer on a continuous clock: one that keeps advancing while the computer sleeps.
// A moment that passes during a suspend fires at the wake.
class ContinuousTimer : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // The clock's time since an arbitrary start that stays fixed for the process.
    virtual std::chrono::milliseconds now() const = 0;
    // Fires timeout() once when the clock reaches the deadline, at once when it already has.
    // Replaces an earlier deadline.
    virtual void arm(std::chrono::milliseconds deadline) = 0;
    virtual void disarm() = 0;

Q_SIGNALS:
    void timeout();
};

} // namespace veltrin
