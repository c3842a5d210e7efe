#include "Preferences.h"

#include <QDataStream>
#include <QIODevice>
#include <QSettings>

namespace veltrin {

namespace {

constexpr quint32 kFileMagic = 0x56504631; // "VPF1"

// The file holds the whole map as one QDataStream record, so every value keeps its exact
// type (INI would turn bools and numbers into text).
bool readPreferencesFile(QIODevice& device, QSettings::SettingsMap& map)
{
    QDataStream stream(&device);
    stream.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0;
    stream >> magic;
    if (stream.status() != QDataStream::Ok)
        return device.size() == 0; // a new, empty file is fine
    if (magic != kFileMagic)
        return false;
    QSettings::SettingsMap read;
    stream >> read;
    if (stream.status() != QDataStream::Ok)
        return false;
    map = read;
    return true;
}

bool writePreferencesFile(QIODevice& device, const QSettings::SettingsMap& map)
{
    QDataStream stream(&device);
    stream.setVersion(QDataStream::Qt_6_4);
    stream << kFileMagic << map;
    return stream.status() == QDataStream::Ok;
}

QSettings::Format preferencesFormat()
{
    static const QSettings::Format format = QSettings::registerFormat(
        QStringLiteral("prefs"), readPreferencesFile, writePreferencesFile, Qt::CaseSensitive);
    return format;
}

} // namespace

std::optional<QByteArray> Preferences::data(const QString& key) const
{
    const QVariant value = object(key);
    if (value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return value.toByteArray();
}

std::optional<QString> Preferences::string(const QString& key) const
{
    const QVariant value = object(key);
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double:
        return value.toString();
    default:
        return std::nullopt;
    }
}

std::optional<QDateTime> Preferences::date(const QString& key) const
{
    const QVariant value = object(key);
    if (value.typeId() != QMetaType::QDateTime)
        return std::nullopt;
    return value.toDateTime();
}

bool Preferences::boolValue(const QString& key) const
{
    const QVariant value = object(key);
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double:
        return value.toBool();
    case QMetaType::QString: {
        const QString text = value.toString().trimmed().toLower();
        return text == u"true" || text == u"yes" || text.toInt() != 0;
    }
    default:
        return false;
    }
}

SettingsPreferences::SettingsPreferences()
    : m_settings(std::make_unique<QSettings>(preferencesFormat(), QSettings::UserScope,
                                             QStringLiteral("Veltrin"), QStringLiteral("Veltrin")))
{
}

SettingsPreferences::SettingsPreferences(const QString& filePath)
    : m_settings(std::make_unique<QSettings>(filePath, preferencesFormat()))
{
}

SettingsPreferences::~SettingsPreferences() = default;

QVariant SettingsPreferences::object(const QString& key) const
{
    return m_settings->value(key);
}

void SettingsPreferences::set(const QString& key, const QVariant& value)
{
    m_settings->setValue(key, value);
    m_settings->sync();
}

void SettingsPreferences::remove(const QString& key)
{
    m_settings->remove(key);
    m_settings->sync();
}

QString SettingsPreferences::fileName() const
{
    return m_settings->fileName();
}

} // namespace veltrin
