#pragma once

#include <QDateTime>
#include <QString>

namespace veltrin {

class DeviceInfo;
class Preferences;
struct BundleInfo;

// What every envelope says about the application, the machine and this installation. Built
// afresh for every envelope.
struct DeviceMetadata {
    QString appVersion;
    QString appBuild;
    QString os;
    QString osVersion;
    QString device;
    QString locale;
    QString deviceID;
    QDateTime installTimestamp;
    QString installVersion;

    struct InstallIdentity {
        QString deviceID;
        QDateTime installDate;
        QString installVersion;
    };

    // May write the install identity (see installIdentity).
    static DeviceMetadata current(
        Preferences& preferences, const BundleInfo& bundle, const DeviceInfo& device, const QDateTime& now);
    // Reads "tracking.deviceID", "tracking.installDate" and "tracking.installVersion"; when any
    // of them is missing or of another type, fills it in and writes all three back.
    static InstallIdentity installIdentity(
        Preferences& preferences, const QString& currentVersion, const QDateTime& now);
    static QString hardwareModel(const DeviceInfo& device);

    // The bundle's version texts, "0" when the bundle has none.
    static QString appVersionOf(const BundleInfo& bundle);
    static QString appBuildOf(const BundleInfo& bundle);
};

} // namespace veltrin
