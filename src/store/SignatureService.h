#pragma once

#include "SignatureFile.h"
#include "SignatureStorage.h"

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

class FileAttributes;
class FileOperations;
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

    // The services must outlive this object. homeFolder is the user's home folder. Every
    // file is read, listed, written and locked through `files` and `attributes`.
    SignatureService(Preferences& preferences, FolderAccess& folderAccess, FolderPanel& folderPanel,
        FileOperations& files, FileAttributes& attributes, QString homeFolder, QObject* parent = nullptr);
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

    // Reads and saves the signatures of this folder, through the same services.
    const SignatureStorage& storage() const { return m_storage; }

    // Mail's property lists; missing, malformed or irregular files give empty maps.
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
    FileOperations& m_files;
    SignatureStorage m_storage;
    QString m_homeFolder;
    QList<SignatureFile> m_signatures;
    std::optional<QString> m_errorMessage;
    std::optional<QUrl> m_accessedURL;
};

} // namespace veltrin
