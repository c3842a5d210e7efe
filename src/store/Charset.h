#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

namespace veltrin {

// Text in the character set a MIME header names, converted through the C library's iconv.
class Charset final {
public:
    // UTF-8 under any of its names; no name at all counts as UTF-8 too.
    static bool isUtf8(QStringView name);
    // Nothing when the set is unknown or the bytes are not text in it.
    static std::optional<QString> decode(const QByteArray& bytes, const QString& name);
    // Nothing when the set is unknown or lacks a character of the text.
    static std::optional<QByteArray> encode(const QString& text, const QString& name);
};

} // namespace veltrin
