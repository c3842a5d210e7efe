#include "SignatureStorage.h"

#include "SignatureReader.h"

namespace veltrin {

SignatureStorage::SignatureStorage(FileOperations& files, FileAttributes& attributes, SignatureWriter::Clock now)
    : m_files(files)
    , m_writer(files, attributes, std::move(now))
{
}

std::expected<SignatureContent, Error> SignatureStorage::loadContent(const SignatureFile& signature) const
{
    return SignatureReader::read(signature.filePath, m_files);
}

std::expected<SaveResult, Error> SignatureStorage::save(
    const SignatureFile& signature, const QString& header, const QString& html) const
{
    return m_writer.save(signature.filePath, header, html);
}

QList<QUrl> SignatureStorage::backups(const SignatureFile& signature) const
{
    return m_writer.backups(signature.filePath);
}

} // namespace veltrin
