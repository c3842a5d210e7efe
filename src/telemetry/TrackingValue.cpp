#include "TrackingValue.h"

namespace veltrin {

QJsonValue TrackingValue::encode() const
{
    return std::visit([](const auto& value) { return QJsonValue(value); }, m_value);
}

QVariant TrackingValue::toVariant() const
{
    return std::visit([](const auto& value) { return QVariant::fromValue(value); }, m_value);
}

} // namespace veltrin
