#pragma once

#include "SignatureFile.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <expected>
#include <functional>
#include <optional>

namespace veltrin {

class FolderAccess;
class FolderPanel;
class Preferences;

// The one way to Mail's signatures folder: proposes it, asks the user for access, keeps that
// access as a bookmark in the preferences, and scans the folder into a sorted list.
// Nothing here fails to the caller: problems end as a fixed text in errorMessage().
class SignatureService final : public QObject {
    Q_OBJECT

public:
    static inline const QString bookmarkKey = QStringLiteral("signatureFolderBookmark");

    struct FolderEntry {
        QString name;
        QString path;
    };
    using FolderListing = std::expected<QList<FolderEntry>, Error>;
    using FolderLister = std::function<FolderListing(const QString& folderPath)>;

    // The folder's direct, non-hidden entries that are regular files (symbolic links are not),
    // in the order the file system lists them; an error when the folder can't be opened or a
    // read fails part-way.
    static FolderListing listRegularFiles(const QString& folderPath);

    // The services must outlive this object. homeFolder is the user's home folder.
    SignatureService(Preferences& preferences, FolderAccess& folderAccess, FolderPanel& folderPanel,
                     QString homeFolder, QObject* parent = nullptr);
    ~SignatureService() override;
    Q_DISABLE_COPY_MOVE(SignatureService)

    const QList<SignatureFile>& signatures() const { return m_signatures; }
    // Announces objectWillChange() first, also when the value is unchanged.
    void setSignatures(const QList<SignatureFile>& signatures);

    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    void setErrorMessage(const std::optional<QString>& message);

    const std::optional<QUrl>& accessedURL() const { return m_accessedURL; }

    bool hasBookmark() const;
    std::optional<QUrl> defaultSignaturesFolder() const;

    void requestAccess();
    void grantAccess(const QUrl& folder);
    bool restoreAccessFromBookmark();
    void loadSignatures(const QUrl& folder, bool requiresSecurityScope);
    void stopAccessing();

    // Tests replace the folder listing to make it fail or to order it.
    void setFolderLister(FolderLister lister) { m_listFolder = std::move(lister); }

    // Mail's property lists; missing or malformed lists give empty maps.
    static QHash<QString, QString> readSignatureNames(const QUrl& folder);
    static QHash<QString, QStringList> readAccountsMap(const QUrl& folder);

Q_SIGNALS:
    void objectWillChange();
    void signaturesChanged();
    void errorMessageChanged();

private:
    Preferences& m_preferences;
    FolderAccess& m_folderAccess;
    FolderPanel& m_folderPanel;
    QString m_homeFolder;
    QList<SignatureFile> m_signatures;
    std::optional<QString> m_errorMessage;
    std::optional<QUrl> m_accessedURL;
    FolderLister m_listFolder = &SignatureService::listRegularFiles;
};

} // namespace veltrin
