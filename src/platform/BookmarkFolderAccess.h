#pragma once

#include "FolderAccess.h"

#include <QHash>
#include <QString>

namespace veltrin {

// Bookmarks as a small versioned record of the folder's absolute path, device and inode.
// Resolving fails when the record does not parse or nothing exists at the path any more, and
// reports stale when the path now names another file-system object. Access is granted by the
// file system itself, so starting it only checks that this process may list the folder; the
// starts and stops are counted per folder so that unbalanced use shows.
class BookmarkFolderAccess final : public FolderAccess {
public:
    static constexpr quint8 formatVersion = 1;

    BookmarkFolderAccess() = default;
    Q_DISABLE_COPY_MOVE(BookmarkFolderAccess)

    std::expected<QByteArray, Error> bookmarkData(const QUrl& folder) override;
    std::expected<ResolvedBookmark, Error> resolveBookmark(const QByteArray& data) override;
    bool startAccessing(const QUrl& folder) override;
    void stopAccessing(const QUrl& folder) override;

    // Starts not yet matched by a stop.
    int accessCount(const QUrl& folder) const;

    // The record for a path and file identity, as bookmarkData() writes it.
    static QByteArray encodeRecord(const QString& absolutePath, quint64 device, quint64 inode,
                                   quint8 version = formatVersion);

private:
    QHash<QString, int> m_accessCounts;
};

} // namespace veltrin
