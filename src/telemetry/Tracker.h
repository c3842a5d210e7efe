#pragma once

#include <QObject>

namespace veltrin {

// The process-wide usage telemetry.
class Tracker final : public QObject {
    Q_OBJECT

public:
    static Tracker& shared();
    void start();

private:
    Tracker() = default;
};

} // namespace veltrin
