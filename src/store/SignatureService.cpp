#include "SignatureService.h"

#include "MailPropertyLists.h"

#include "platform/FileOperations.h"
#include "platform/FolderAccess.h"
#include "platform/FolderPanel.h"
#include "platform/NoFollowFileOperations.h"
#include "platform/Preferences.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QUuid>

#include <algorithm>
#include <numeric>
#include <vector>

namespace veltrin {

using namespace Qt::StringLiterals;

namespace {

const QString kSignatureExtension = u"mailsignature"_s;

// The plain file-system path, without the trailing slash a folder URL may carry.
QString plainPath(const QUrl& url)
{
    QString path = url.toLocalFile();
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

} // namespace

SignatureService::SignatureService(Preferences& preferences, FolderAccess& folderAccess,
    FolderPanel& folderPanel, FileOperations& files, FileAttributes& attributes, QString homeFolder,
    QObject* parent)
    : QObject(parent)
    , m_preferences(preferences)
    , m_folderAccess(folderAccess)
    , m_folderPanel(folderPanel)
    , m_files(files)
    , m_storage(files, attributes)
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
    static const QString candidates[] = {
        u"Library/Mail/V11/MailData/Signatures"_s,
        u"Library/Mail/V10/MailData/Signatures"_s,
        u"Library/Mail/V9/MailData/Signatures"_s,
        u"Library/Mail/V8/MailData/Signatures"_s,
    };
    const QDir home(m_homeFolder);
    for (const QString& candidate : candidates) {
        const QString path = home.filePath(candidate);
        // Anything at the path counts, a file too.
        if (QFileInfo::exists(path))
            return QUrl::fromLocalFile(path);
    }
    return std::nullopt;
}

void SignatureService::requestAccess()
{
    setSignatures({});
    setErrorMessage(std::nullopt);

    const std::optional<QUrl> folder = defaultSignaturesFolder();
    if (!folder) {
        setErrorMessage(u"Could not find Mail signatures folder"_s);
        return;
    }

    FolderPanelOptions options;
    options.message = u"Please select the Mail Signatures folder to grant access"_s;
    options.prompt = u"Grant Access"_s;
    options.canChooseFiles = false;
    options.canChooseDirectories = true;
    options.canCreateDirectories = false;
    options.directoryURL = *folder;

    // The panel may outlive this service; its answer then has no effect.
    m_folderPanel.begin(options,
        [service = QPointer<SignatureService>(this)](FolderPanelResponse response, std::optional<QUrl> url) {
            if (!service)
                return;
            if (response == FolderPanelResponse::ok && url && !url->isEmpty())
                service->grantAccess(*url);
            else
                service->setErrorMessage(u"Access to signatures folder was denied"_s);
        });
}

void SignatureService::grantAccess(const QUrl& folder)
{
    const auto data = m_folderAccess.bookmarkData(folder);
    if (!data) {
        setErrorMessage(u"Failed to create bookmark: "_s + data.error().description);
        return;
    }
    m_preferences.set(bookmarkKey, *data);
    loadSignatures(folder, false);
}

bool SignatureService::restoreAccessFromBookmark()
{
    const std::optional<QByteArray> data = m_preferences.data(bookmarkKey);
    if (!data)
        return false;
    const auto resolved = m_folderAccess.resolveBookmark(*data);
    if (!resolved) {
        setErrorMessage(u"Failed to resolve bookmark: "_s + resolved.error().description);
        return false;
    }
    // A stale bookmark stays as it is; a new choice in the panel replaces it.
    if (resolved->isStale)
        return false;
    loadSignatures(resolved->url, true);
    return true;
}

void SignatureService::loadSignatures(const QUrl& folder, bool requiresSecurityScope)
{
    const bool started = m_folderAccess.startAccessing(folder);
    if (requiresSecurityScope && !started) {
        setSignatures({});
        setErrorMessage(u"Could not access the selected folder"_s);
        return;
    }
    if (started) {
        // Every start is matched by one stop: the access this one replaces ends here.
        const std::optional<QUrl> previous = std::exchange(m_accessedURL, folder);
        if (previous)
            m_folderAccess.stopAccessing(*previous);
    }

    const QHash<QString, QString> names = MailPropertyLists::readSignatureNames(m_files, folder);
    const QHash<QString, QStringList> accounts = MailPropertyLists::readAccountsMap(m_files, folder);

    const QString folderPath = plainPath(folder);
    const auto entries = m_files.listFolder(folder);
    if (!entries) {
        setSignatures({});
        setErrorMessage(u"Error reading signatures: "_s + entries.error().description);
        return;
    }

    QList<SignatureFile> found;
    for (const FolderEntry& entry : *entries) {
        // Links, folders, FIFOs and devices are passed over.
        if (!entry.status.isRegularFile)
            continue;
        const QFileInfo info(entry.name);
        if (info.suffix() != kSignatureExtension)
            continue;
        const QString signatureId = info.completeBaseName();
        SignatureFile signature;
        signature.id = QUuid::createUuid();
        signature.fileName = entry.name;
        signature.displayName = names.value(signatureId, signatureId);
        // The URL keeps the name's bytes: this is the file that is read and saved.
        signature.filePath = entry.url;
        signature.fileSize = entry.status.size;
        signature.scannedModificationDate = entry.status.modified;
        signature.parentFolderURL = folder;
        signature.accountEmails = accounts.value(signatureId);
        found.append(std::move(signature));
    }

    // Code-point order of the composed forms; UTF-8 bytes compare in exactly that order,
    // where UTF-16 units would put U+E000..U+FFFF after the characters above U+FFFF.
    std::vector<QByteArray> keys;
    keys.reserve(size_t(found.size()));
    for (const SignatureFile& signature : std::as_const(found))
        keys.push_back(signature.displayName.normalized(QString::NormalizationForm_C).toUtf8());
    std::vector<qsizetype> order(size_t(found.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
        [&keys](qsizetype a, qsizetype b) { return keys[size_t(a)] < keys[size_t(b)]; });
    QList<SignatureFile> sorted;
    sorted.reserve(found.size());
    for (const qsizetype index : order)
        sorted.append(std::move(found[index]));

    setSignatures(sorted);
    if (sorted.isEmpty())
        setErrorMessage(u"No signature files found in: "_s + folderPath);
    else
        setErrorMessage(std::nullopt);
}

void SignatureService::stopAccessing()
{
    if (m_accessedURL)
        m_folderAccess.stopAccessing(*m_accessedURL);
    m_accessedURL.reset();
}

QHash<QString, QString> SignatureService::readSignatureNames(const QUrl& folder)
{
    return MailPropertyLists::readSignatureNames(NoFollowFileOperations(), folder);
}

QHash<QString, QStringList> SignatureService::readAccountsMap(const QUrl& folder)
{
    return MailPropertyLists::readAccountsMap(NoFollowFileOperations(), folder);
}

} // namespace veltrin
