#include "TrackingEvent.h"

namespace veltrin {

QJsonObject TrackingEvent::encodePayload(const TrackingPayload& payload)
{
    QJsonObject object;
    for (auto it = payload.cbegin(); it != payload.cend(); ++it)
        object.insert(it.key(), it.value().encode());
    return object;
}

} // namespace veltrin
