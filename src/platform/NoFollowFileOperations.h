#pragma once

#include "platform/FileOperations.h"

namespace veltrin {

// The file operations on Linux: every open is O_NOFOLLOW and O_NONBLOCK, and only what
// fstat says is a regular file is read.
class NoFollowFileOperations final : public FileOperations {
public:
    NoFollowFileOperations() = default;
    Q_DISABLE_COPY_MOVE(NoFollowFileOperations)

    std::expected<QByteArray, Error> readFile(const QUrl& file, qint64 maxSize) const override;
    std::expected<QByteArray, Error> copyToNewFile(
        const QUrl& source, const QUrl& target, qint64 maxSize) override;
    std::expected<void, Error> replaceFile(const QUrl& file, const QByteArray& bytes) override;
    std::expected<void, Error> makeFolder(const QUrl& folder) override;
    std::expected<QList<FolderEntry>, Error> listFolder(const QUrl& folder) const override;
    std::optional<FileStatus> status(const QUrl& file) const override;
};

} // namespace veltrin
