#include "SignatureReader.h"

namespace veltrin {

std::expected<SignatureContent, Error> SignatureReader::read(const QUrl& filePath)
{
    return std::unexpected(Error{QStringLiteral("Reading %1 is not built yet.").arg(filePath.toLocalFile())});
}

SignatureContent SignatureReader::parse(const QString& text)
{
    return {QString(), text};
}

} // namespace veltrin
