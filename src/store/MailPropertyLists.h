#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace veltrin {

class FileOperations;

// Mail's two property lists in the signatures folder, read into maps keyed by signature id.
// Silent: a missing, unreadable, malformed, oversized or too deeply nested list, or one whose
// structure is not what Mail writes, gives an empty map.
class MailPropertyLists final {
public:
    MailPropertyLists() = delete;

    static inline const QString signatureNamesFileName = QStringLiteral("AllSignatures.plist");
    static inline const QString accountsMapFileName = QStringLiteral("AccountsMap.plist");

    // Lists larger than this are not parsed; Mail's own are a few kilobytes.
    static constexpr qsizetype maxFileSize = qsizetype(8) * 1024 * 1024;
    // Nesting and node counts beyond these are refused before the parser sees the data.
    static constexpr int maxNestingDepth = 64;
    static constexpr qint64 maxNodeCount = 1'000'000;

    static QHash<QString, QString> readSignatureNames(const FileOperations& files, const QUrl& folder);
    static QHash<QString, QStringList> readAccountsMap(const FileOperations& files, const QUrl& folder);

    // The same on the bytes of a list (XML or binary).
    static QHash<QString, QString> signatureNamesFromData(const QByteArray& data);
    static QHash<QString, QStringList> accountsMapFromData(const QByteArray& data);

    // The address Mail's account URL stands for: the first path segment after the last "://",
    // with "%40" turned into "@".
    static QString emailAddress(const QString& accountURL);
};

} // namespace veltrin
