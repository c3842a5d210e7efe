#pragma once

// A scratch home, configuration and runtime folder for starting the real application as a user
// would, with an events endpoint where nothing listens. Header-only: it reads the session record
// through the telemetry library, which only the application's tests link.

#include "TestSupport.h"

#include "platform/Preferences.h"
#include "telemetry/Tracker.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <optional>

namespace veltrin::test {

// How long a start, hand-over or exit of the sanitized application may take on a loaded machine:
// an upper bound on waiting for the event, not a delay.
inline constexpr int processTimeout = 90000;

struct ScratchHome {
    QTemporaryDir home;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("XCTestConfigurationFilePath"));
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral(".local/share")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral(".cache")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(
            QStringLiteral("VELTRIN_EVENTS_ENDPOINT"), QStringLiteral("http://127.0.0.1:9/v1/events"));
        // Telemetry takes the desktop's proxy, also for this machine's addresses.
        for (const QString& name : proxyVariables())
            environment.remove(name);
        return environment;
    }

    QString runtimeFolder() const
    {
        QString folder = home.filePath(QStringLiteral("runtime"));
        QDir().mkpath(folder);
        QFile::setPermissions(
            folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return folder;
    }

    QString preferencesFile() const { return home.filePath(QStringLiteral(".config/Veltrin/Veltrin.prefs")); }

    // Read afresh each time: the application writes the file from its own process.
    std::optional<Tracker::OpenSession> session() const
    {
        if (!QFile::exists(preferencesFile()))
            return std::nullopt;
        const SettingsPreferences preferences(preferencesFile());
        const std::optional<QByteArray> stored = preferences.data(QStringLiteral("tracking.openSession"));
        return stored ? Tracker::OpenSession::decode(*stored) : std::nullopt;
    }
};

} // namespace veltrin::test
