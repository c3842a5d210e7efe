#pragma once

#include <QJsonValue>
#include <QString>
#include <QVariant>

#include <variant>

namespace veltrin {

// One payload value of a usage event. Its JSON form is the bare value: a string, an integer
// number or true/false, never wrapped and never named.
class TrackingValue {
public:
    static TrackingValue string(const QString& text) { return TrackingValue(Value(text)); }
    static TrackingValue integer(qint64 number) { return TrackingValue(Value(number)); }
    static TrackingValue boolean(bool flag) { return TrackingValue(Value(flag)); }

    bool isString() const { return std::holds_alternative<QString>(m_value); }
    bool isInt() const { return std::holds_alternative<qint64>(m_value); }
    bool isBool() const { return std::holds_alternative<bool>(m_value); }

    QJsonValue encode() const;
    // The plain object for an error-reporting breadcrumb: text, a 64-bit integer or a bool.
    QVariant toVariant() const;

    friend bool operator==(const TrackingValue&, const TrackingValue&) = default;

private:
    using Value = std::variant<QString, qint64, bool>;
    explicit TrackingValue(Value value)
        : m_value(std::move(value))
    {
    }
    Value m_value;
};

} // namespace veltrin
