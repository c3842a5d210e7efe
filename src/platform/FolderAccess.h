#pragma once

#include "Error.h"

#include <QByteArray>
#include <QUrl>

#include <expected>

namespace veltrin {

struct ResolvedBookmark {
    QUrl url;
    bool isStale = false;
};

// Lasting access to a folder the user chose: opaque bookmark data that resolves back to the
// folder, and a start and stop of access around each use.
class FolderAccess {
public:
    virtual ~FolderAccess() = default;

    virtual std::expected<QByteArray, Error> bookmarkData(const QUrl& folder) = 0;
    virtual std::expected<ResolvedBookmark, Error> resolveBookmark(const QByteArray& data) = 0;
    // True when access was started; each true is ended by one stopAccessing().
    virtual bool startAccessing(const QUrl& folder) = 0;
    virtual void stopAccessing(const QUrl& folder) = 0;
};

} // namespace veltrin
