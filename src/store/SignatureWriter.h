#pragma once

#include "SignatureFile.h"

namespace veltrin {

// Writes edited signatures back behind a backup copy, and lists those copies.
class SignatureWriter final {
public:
    static std::expected<void, Error> save(const QUrl& filePath, const QString& header, const QString& html);
    static QList<QUrl> backups(const QUrl& filePath);
    static QDateTime modificationDate(const QUrl& filePath);
};

} // namespace veltrin
