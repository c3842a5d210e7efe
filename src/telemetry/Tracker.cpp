#include "Tracker.h"

namespace veltrin {

Tracker& Tracker::shared()
{
    static Tracker tracker;
    return tracker;
}

void Tracker::start() {}

} // namespace veltrin
