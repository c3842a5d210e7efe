#pragma once

#include "DeviceMetadata.h"
#include "TrackingEvent.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace veltrin {

// The unit posted to the events endpoint: one event with the device metadata around it.
struct Envelope {
    QString eventID;
    QString app;
    QString event;
    std::optional<QString> previousEvent;
    TrackingPayload payload;
    QString appVersion;
    QString appBuild;
    QString os;
    QString osVersion;
    QString device;
    QString locale;
    std::optional<QString> idfv;
    std::optional<QString> idfa; // never set
    QDateTime installTimestamp;
    QString installVersion;
    QDateTime timestamp;

    // A fresh event_id for every envelope; app is the bundle identifier.
    static Envelope make(const TrackingEvent& event, const DeviceMetadata& metadata, const QString& app);

    // Absent when a point in time has no ISO 8601 form (invalid, or outside years 1 to 9999).
    std::optional<QJsonObject> encode() const;
    // The compact UTF-8 JSON of encode().
    std::optional<QByteArray> encodeData() const;

    // YYYY-MM-DDThh:mm:ssZ in UTC; the fraction of a second is dropped.
    static std::optional<QString> iso8601(const QDateTime& time);
};

} // namespace veltrin
