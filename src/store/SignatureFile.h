#pragma once

#include "platform/Error.h"

#include <QDateTime>
#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <expected>
#include <optional>

namespace veltrin {

// A signature as read from its file: the header block exactly as stored and the HTML,
// decoded and with inline images as data: addresses, ready to show and edit.
struct SignatureContent {
    QString header;
    QString html;
};

// One .mailsignature file found by a scan. A value: the id is new at every scan, and
// equality and hashing look at the id alone.
struct SignatureFile {
    QUuid id;
    QString fileName;
    QString displayName;
    QUrl filePath;
    QUrl parentFolderURL;
    QStringList accountEmails;
    std::optional<QString> errorMessage;
    // Size in bytes and last content change as the scan found them, for the list to show
    // without reading the disk again.
    qint64 fileSize = 0;
    QDateTime scannedModificationDate;

    // Fails only when the file can't be read as UTF-8 text.
    std::expected<SignatureContent, Error> loadContent() const;
    // Unlocks the file, copies it into the backup folder, writes header and HTML back
    // atomically, then sets 0600 and locks it again.
    std::expected<void, Error> save(const QString& header, const QString& html) const;
    // This signature's backup copies, newest first; empty when there are none.
    QList<QUrl> backups() const;
    // The file's last content change, or the current time when that can't be read.
    QDateTime modificationDate() const;

    friend bool operator==(const SignatureFile& a, const SignatureFile& b) { return a.id == b.id; }
};

inline size_t qHash(const SignatureFile& signature, size_t seed = 0) noexcept
{
    return qHash(signature.id, seed);
}

} // namespace veltrin
