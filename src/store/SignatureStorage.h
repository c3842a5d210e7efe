#pragma once

#include "SignatureFile.h"
#include "SignatureWriter.h"

namespace veltrin {

class FileAttributes;
class FileOperations;

// Reads and saves signature files through the services it was given: what the editor
// uses, so that it builds no file access of its own.
class SignatureStorage final {
public:
    // The services must outlive this object.
    SignatureStorage(FileOperations& files, FileAttributes& attributes,
        SignatureWriter::Clock now = &QDateTime::currentDateTimeUtc);
    Q_DISABLE_COPY_MOVE(SignatureStorage)

    std::expected<SignatureContent, Error> loadContent(const SignatureFile& signature) const;
    // Unlock, backup, write, lock (see SignatureWriter::save).
    std::expected<SaveResult, Error> save(
        const SignatureFile& signature, const QString& header, const QString& html) const;
    QList<QUrl> backups(const SignatureFile& signature) const;

    FileOperations& files() const { return m_files; }

private:
    FileOperations& m_files;
    SignatureWriter m_writer;
};

} // namespace veltrin
