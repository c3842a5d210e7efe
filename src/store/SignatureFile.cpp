#include "SignatureFile.h"

#include "SignatureReader.h"
#include "SignatureWriter.h"
#include "platform/InodeFileAttributes.h"

namespace veltrin {

std::expected<SignatureContent, Error> SignatureFile::loadContent() const
{
    return SignatureReader::read(filePath);
}

std::expected<void, Error> SignatureFile::save(const QString& header, const QString& html) const
{
    InodeFileAttributes attributes;
    const auto saved = SignatureWriter(attributes).save(filePath, header, html);
    if (!saved)
        return std::unexpected(saved.error());
    return {};
}

QList<QUrl> SignatureFile::backups() const
{
    InodeFileAttributes attributes;
    return SignatureWriter(attributes).backups(filePath);
}

QDateTime SignatureFile::modificationDate() const
{
    InodeFileAttributes attributes;
    return SignatureWriter(attributes).modificationDate(filePath);
}

} // namespace veltrin
