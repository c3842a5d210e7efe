#pragma once

#include "platform/Preferences.h"

#include <QStringList>

#include <memory>

namespace veltrin::test {

// Preferences in a real settings file that also note every read and write, so that a test can
// tell what was touched and in which order.
class RecordingPreferences final : public Preferences {
public:
    explicit RecordingPreferences(const QString& filePath);
    Q_DISABLE_COPY_MOVE(RecordingPreferences)

    QVariant object(const QString& key) const override;
    void set(const QString& key, const QVariant& value) override;
    void remove(const QString& key) override;

    // "read <key>", "set <key>", "remove <key>", in order.
    QStringList log() const { return m_log; }
    QStringList writes() const;
    qsizetype countOf(const QString& entry) const { return m_log.count(entry); }
    void clearLog() { m_log.clear(); }

private:
    SettingsPreferences m_settings;
    mutable QStringList m_log;
};

} // namespace veltrin::test
