#include "SignatureService.h"

#include "platform/FolderAccess.h"
#include "platform/FolderPanel.h"
#include "platform/Preferences.h"

namespace veltrin {

SignatureService::SignatureService(Preferences& preferences, FolderAccess& folderAccess,
                                   FolderPanel& folderPanel, QString homeFolder, QObject* parent)
    : QObject(parent)
    , m_preferences(preferences)
    , m_folderAccess(folderAccess)
    , m_folderPanel(folderPanel)
    , m_homeFolder(std::move(homeFolder))
{
}

SignatureService::~SignatureService()
{
    stopAccessing();
}

void SignatureService::setSignatures(const QList<SignatureFile>& signatures)
{
    Q_EMIT objectWillChange();
    m_signatures = signatures;
    Q_EMIT signaturesChanged();
}

void SignatureService::setErrorMessage(const std::optional<QString>& message)
{
    Q_EMIT objectWillChange();
    m_errorMessage = message;
    Q_EMIT errorMessageChanged();
}

bool SignatureService::hasBookmark() const
{
    return m_preferences.data(bookmarkKey).has_value();
}

std::optional<QUrl> SignatureService::defaultSignaturesFolder() const
{
    return std::nullopt;
}

void SignatureService::requestAccess() {}
void SignatureService::grantAccess(const QUrl&) {}
bool SignatureService::restoreAccessFromBookmark() { return false; }
void SignatureService::loadSignatures(const QUrl&, bool) {}

void SignatureService::stopAccessing()
{
    if (m_accessedURL)
        m_folderAccess.stopAccessing(*m_accessedURL);
    m_accessedURL.reset();
}

QHash<QString, QString> SignatureService::readSignatureNames(const QUrl&) { return {}; }
QHash<QString, QStringList> SignatureService::readAccountsMap(const QUrl&) { return {}; }

} // namespace veltrin
