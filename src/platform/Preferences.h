#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

class QSettings;

namespace veltrin {

// The user's preferences: typed values stored by key. The typed readers give a value only
// when the stored one is of that kind (or, for bool and string, converts plainly to it).
class Preferences {
public:
    virtual ~Preferences() = default;

    // The stored value as it was set; invalid when the key is missing.
    virtual QVariant object(const QString& key) const = 0;
    virtual void set(const QString& key, const QVariant& value) = 0;
    virtual void remove(const QString& key) = 0;

    std::optional<QByteArray> data(const QString& key) const;
    std::optional<QString> string(const QString& key) const;
    std::optional<QDateTime> date(const QString& key) const;
    // False when missing or not convertible, like the platform's own bool lookup.
    bool boolValue(const QString& key) const;
};

// Preferences in a file of their own. Each value is written with its type, so that data, bool,
// text and dates come back as what they were across a restart.
class SettingsPreferences final : public Preferences {
public:
    // The user's own preferences file (organisation and application "Veltrin").
    SettingsPreferences();
    // A file of its own, for tests and for running on a scratch home folder.
    explicit SettingsPreferences(const QString& filePath);
    ~SettingsPreferences() override;
    Q_DISABLE_COPY_MOVE(SettingsPreferences)

    QVariant object(const QString& key) const override;
    void set(const QString& key, const QVariant& value) override;
    void remove(const QString& key) override;

    QString fileName() const;

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace veltrin
