#include "DeviceMetadata.h"

#include "TelemetryFormats.h"

#include "platform/BundleInfo.h"
#include "platform/DeviceInfo.h"
#include "platform/Preferences.h"

#include <QLocale>

namespace veltrin {

namespace {

const QString kDeviceIDKey = QStringLiteral("tracking.deviceID");
const QString kInstallDateKey = QStringLiteral("tracking.installDate");
const QString kInstallVersionKey = QStringLiteral("tracking.installVersion");

} // namespace

DeviceMetadata DeviceMetadata::current(
    Preferences& preferences, const BundleInfo& bundle, const DeviceInfo& device, const QDateTime& now)
{
    const QString appVersion = appVersionOf(bundle);
    const QString osVersion = device.osVersion();
    const InstallIdentity identity = installIdentity(preferences, appVersion, now);
    return { appVersion, appBuildOf(bundle), device.os(), osVersion, hardwareModel(device),
        QLocale::system().name(), identity.deviceID, identity.installDate, identity.installVersion };
}

DeviceMetadata::InstallIdentity DeviceMetadata::installIdentity(
    Preferences& preferences, const QString& currentVersion, const QDateTime& now)
{
    const std::optional<QString> storedID = preferences.string(kDeviceIDKey);
    std::optional<QDateTime> storedDate;
    std::optional<QString> storedVersion;
    if (storedID) {
        storedDate = preferences.date(kInstallDateKey);
        if (storedDate) {
            storedVersion = preferences.string(kInstallVersionKey);
            if (storedVersion)
                return { *storedID, storedDate->toUTC(), *storedVersion };
        }
    } else {
        storedDate = preferences.date(kInstallDateKey);
    }
    if (!storedVersion)
        storedVersion = preferences.string(kInstallVersionKey);

    InstallIdentity identity {
        storedID.value_or(newUuidText()),
        storedDate ? storedDate->toUTC() : now.toUTC(),
        storedVersion.value_or(currentVersion),
    };
    preferences.set(kDeviceIDKey, identity.deviceID);
    preferences.set(kInstallDateKey, identity.installDate);
    preferences.set(kInstallVersionKey, identity.installVersion);
    return identity;
}

QString DeviceMetadata::hardwareModel(const DeviceInfo& device)
{
    return device.hardwareModel();
}

QString DeviceMetadata::appVersionOf(const BundleInfo& bundle)
{
    return bundle.shortVersion.isNull() ? QStringLiteral("0") : bundle.shortVersion;
}

QString DeviceMetadata::appBuildOf(const BundleInfo& bundle)
{
    return bundle.version.isNull() ? QStringLiteral("0") : bundle.version;
}

} // namespace veltrin
