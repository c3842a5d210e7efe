#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

namespace veltrin {

// A new random UUID in its canonical upper-case text form (8-4-4-4-12 hexadecimal digits).
inline QString newUuidText()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

// Whether a point in time lies in years 1 to 9999 (UTC): the times ISO 8601 text can carry.
inline bool hasIso8601Year(const QDateTime& time)
{
    if (!time.isValid())
        return false;
    const int year = time.toUTC().date().year();
    return year >= 1 && year <= 9999;
}

} // namespace veltrin
