#include "SignatureWriter.h"

namespace veltrin {

std::expected<void, Error> SignatureWriter::save(const QUrl& filePath, const QString&, const QString&)
{
    return std::unexpected(Error{QStringLiteral("Saving %1 is not built yet.").arg(filePath.toLocalFile())});
}

QList<QUrl> SignatureWriter::backups(const QUrl&)
{
    return {};
}

QDateTime SignatureWriter::modificationDate(const QUrl&)
{
    return QDateTime::currentDateTimeUtc();
}

} // namespace veltrin
