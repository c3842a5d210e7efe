#include "Envelope.h"

#include "TelemetryFormats.h"

#include <QJsonDocument>

namespace veltrin {

Envelope Envelope::make(const TrackingEvent& event, const DeviceMetadata& metadata, const QString& app)
{
    return { newUuidText(), app, event.name, event.previousEvent, event.payload, metadata.appVersion,
        metadata.appBuild, metadata.os, metadata.osVersion, metadata.device, metadata.locale,
        metadata.deviceID, std::nullopt, metadata.installTimestamp, metadata.installVersion,
        event.timestamp };
}

std::optional<QJsonObject> Envelope::encode() const
{
    const std::optional<QString> installTime = iso8601(installTimestamp);
    const std::optional<QString> eventTime = iso8601(timestamp);
    if (!installTime || !eventTime)
        return std::nullopt;
    QJsonObject object;
    object.insert(u"event_id", eventID);
    object.insert(u"app", app);
    object.insert(u"event", event);
    if (previousEvent)
        object.insert(u"previous_event", *previousEvent);
    object.insert(u"payload", TrackingEvent::encodePayload(payload));
    object.insert(u"app_version", appVersion);
    object.insert(u"app_build", appBuild);
    object.insert(u"os", os);
    object.insert(u"os_version", osVersion);
    object.insert(u"device", device);
    object.insert(u"locale", locale);
    if (idfv)
        object.insert(u"idfv", *idfv);
    if (idfa)
        object.insert(u"idfa", *idfa);
    object.insert(u"install_timestamp", *installTime);
    object.insert(u"install_version", installVersion);
    object.insert(u"timestamp", *eventTime);
    return object;
}

std::optional<QByteArray> Envelope::encodeData() const
{
    const std::optional<QJsonObject> object = encode();
    if (!object)
        return std::nullopt;
    return QJsonDocument(*object).toJson(QJsonDocument::Compact);
}

std::optional<QString> Envelope::iso8601(const QDateTime& time)
{
    if (!hasIso8601Year(time))
        return std::nullopt;
    const QDateTime utc = time.toUTC();
    const QTime clock = utc.time();
    return utc.date().toString(Qt::ISODate) + u'T'
        + QTime(clock.hour(), clock.minute(), clock.second()).toString(Qt::ISODate) + u'Z';
}

} // namespace veltrin
