#pragma once

#include "TrackingEvent.h"

namespace veltrin {

// A telemetry back-end. Both calls come from the main thread, start() once before any track().
class EventTracker {
public:
    virtual ~EventTracker() = default;

    virtual void start() = 0;
    // Hands the event over; the back-end may finish its work later and reports nothing back.
    virtual void track(const TrackingEvent& event) = 0;
};

} // namespace veltrin
