#pragma once

#include "SignatureFile.h"

namespace veltrin {

// Reads .mailsignature files into their header block and displayable HTML.
class SignatureReader final {
public:
    static std::expected<SignatureContent, Error> read(const QUrl& filePath);
    // The same, on text already read.
    static SignatureContent parse(const QString& text);
};

} // namespace veltrin
