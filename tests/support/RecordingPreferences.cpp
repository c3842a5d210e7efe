#include "RecordingPreferences.h"

namespace veltrin::test {

RecordingPreferences::RecordingPreferences(const QString& filePath)
    : m_settings(filePath)
{
}

QVariant RecordingPreferences::object(const QString& key) const
{
    m_log << QStringLiteral("read ") + key;
    return m_settings.object(key);
}

void RecordingPreferences::set(const QString& key, const QVariant& value)
{
    m_log << QStringLiteral("set ") + key;
    m_settings.set(key, value);
}

void RecordingPreferences::remove(const QString& key)
{
    m_log << QStringLiteral("remove ") + key;
    m_settings.remove(key);
}

QStringList RecordingPreferences::writes() const
{
    QStringList writes;
    for (const QString& entry : m_log) {
        if (!entry.startsWith(u"read "))
            writes << entry;
    }
    return writes;
}

} // namespace veltrin::test
