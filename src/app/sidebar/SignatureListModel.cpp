#include "app/sidebar/SignatureListModel.h"

#include "app/sidebar/SignatureRow.h"

namespace veltrin {

namespace {

// A file keeps its path over a rescan, while its id is new.
bool sameFile(const SignatureFile& a, const SignatureFile& b)
{
    return a.filePath == b.filePath;
}

} // namespace

SignatureListModel::SignatureListModel(QObject* parent)
    : QAbstractListModel(parent)
    , m_ageTimer(new QTimer(this))
{
    m_ageTimer->setInterval(ageRefreshInterval);
    connect(m_ageTimer, &QTimer::timeout, this, &SignatureListModel::refreshAges);
}

void SignatureListModel::refreshAges()
{
    Q_EMIT dataChanged(index(0), index(int(m_signatures.size()) - 1), { LastModifiedRole, Qt::AccessibleTextRole });
}

int SignatureListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_signatures.size());
}

QVariant SignatureListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const SignatureFile& signature = m_signatures.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return signature.displayName;
    case Qt::ToolTipRole:
        return (QStringList(signature.displayName) + signature.accountEmails).join(u'\n');
    case Qt::AccessibleTextRole: {
        // Read as the row shows it, top to bottom.
        QStringList parts { signature.displayName };
        if (signature.accountEmails.isEmpty())
            parts << SignatureRow::tr("No account associated");
        else
            parts << signature.accountEmails;
        parts << SignatureRow::lastModified(signature) << SignatureRow::fileSize(signature);
        return parts.join(u", ");
    }
    case Qt::AccessibleDescriptionRole:
    case ErrorMessageRole:
        return signature.errorMessage ? QVariant(*signature.errorMessage) : QVariant();
    case AccountEmailsRole:
        return signature.accountEmails;
    case LastModifiedRole:
        return SignatureRow::lastModified(signature);
    case FileSizeRole:
        return SignatureRow::fileSize(signature);
    default:
        return {};
    }
}

QHash<int, QByteArray> SignatureListModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(AccountEmailsRole, "accountEmails");
    names.insert(LastModifiedRole, "lastModified");
    names.insert(FileSizeRole, "fileSize");
    names.insert(ErrorMessageRole, "errorMessage");
    return names;
}

std::optional<SignatureFile> SignatureListModel::signature(int row) const
{
    if (row < 0 || row >= m_signatures.size())
        return std::nullopt;
    return m_signatures.at(row);
}

int SignatureListModel::rowOf(const SignatureFile& signature) const
{
    return int(m_signatures.indexOf(signature));
}

// Rows whose file is gone are removed, new files inserted, moved files moved, and every row
// that stays takes its new value in place.
void SignatureListModel::setSignatures(const QList<SignatureFile>& signatures)
{
    for (qsizetype row = m_signatures.size() - 1; row >= 0; --row) {
        const SignatureFile& old = m_signatures.at(row);
        if (std::ranges::none_of(signatures, [&](const SignatureFile& s) { return sameFile(s, old); })) {
            beginRemoveRows({}, int(row), int(row));
            m_signatures.removeAt(row);
            endRemoveRows();
        }
    }
    for (qsizetype row = 0; row < signatures.size(); ++row) {
        const SignatureFile& next = signatures.at(row);
        qsizetype found = -1;
        for (qsizetype i = row; i < m_signatures.size() && found < 0; ++i)
            if (sameFile(m_signatures.at(i), next))
                found = i;
        if (found < 0) {
            beginInsertRows({}, int(row), int(row));
            m_signatures.insert(row, next);
            endInsertRows();
            continue;
        }
        if (found != row) {
            beginMoveRows({}, int(found), int(found), {}, int(row));
            m_signatures.move(found, row);
            endMoveRows();
        }
        m_signatures[row] = next;
        const QModelIndex changed = index(int(row));
        Q_EMIT dataChanged(changed, changed);
    }
    // Left over only when the old list named a file more often than the new one does.
    if (m_signatures.size() > signatures.size()) {
        beginRemoveRows({}, int(signatures.size()), int(m_signatures.size() - 1));
        m_signatures.resize(signatures.size());
        endRemoveRows();
    }
    // Only rows have ages to move on; an empty list wakes nobody.
    if (m_signatures.isEmpty())
        m_ageTimer->stop();
    else if (!m_ageTimer->isActive())
        m_ageTimer->start();
}

} // namespace veltrin
