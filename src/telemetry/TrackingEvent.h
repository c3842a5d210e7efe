#pragma once

#include "TrackingValue.h"

#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <optional>

namespace veltrin {

using TrackingPayload = QMap<QString, TrackingValue>;

// One usage event, built by the Tracker and handed by value to every back-end.
struct TrackingEvent {
    QString name;
    std::optional<QString> previousEvent; // the event tracked before it in this process
    TrackingPayload payload;
    QDateTime timestamp;

    static QJsonObject encodePayload(const TrackingPayload& payload);
};

} // namespace veltrin
