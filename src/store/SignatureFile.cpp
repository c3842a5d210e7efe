#include "SignatureFile.h"

#include "SignatureReader.h"
#include "SignatureWriter.h"

namespace veltrin {

std::expected<SignatureContent, Error> SignatureFile::loadContent() const
{
    return SignatureReader::read(filePath);
}

std::expected<void, Error> SignatureFile::save(const QString& header, const QString& html) const
{
    return SignatureWriter::save(filePath, header, html);
}

QList<QUrl> SignatureFile::backups() const
{
    return SignatureWriter::backups(filePath);
}

QDateTime SignatureFile::modificationDate() const
{
    return SignatureWriter::modificationDate(filePath);
}

} // namespace veltrin
