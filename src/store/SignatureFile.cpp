#include "SignatureFile.h"

#include "SignatureReader.h"
#include "SignatureWriter.h"
#include "platform/InodeFileAttributes.h"
#include "platform/NoFollowFileOperations.h"

namespace veltrin {

// The value's own operations use the real file system; the application goes through
// SignatureService, whose services are injected.

std::expected<SignatureContent, Error> SignatureFile::loadContent() const
{
    return SignatureReader::read(filePath, NoFollowFileOperations());
}

std::expected<void, Error> SignatureFile::save(const QString& header, const QString& html) const
{
    NoFollowFileOperations files;
    InodeFileAttributes attributes;
    const auto saved = SignatureWriter(files, attributes).save(filePath, header, html);
    if (!saved)
        return std::unexpected(saved.error());
    return {};
}

QList<QUrl> SignatureFile::backups() const
{
    NoFollowFileOperations files;
    InodeFileAttributes attributes;
    return SignatureWriter(files, attributes).backups(filePath);
}

QDateTime SignatureFile::modificationDate() const
{
    NoFollowFileOperations files;
    InodeFileAttributes attributes;
    return SignatureWriter(files, attributes).modificationDate(filePath);
}

} // namespace veltrin
