#pragma once

#include "store/SignatureFile.h"

#include <QAbstractListModel>
#include <QList>

#include <optional>

namespace veltrin {

// The sidebar's rows: one per SignatureFile, in the store's order. A rescan hands over new
// values for the same files; they replace the rows in place, so that views keep their scroll
// position and rows that stay are never reset.
class SignatureListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        AccountEmailsRole = Qt::UserRole + 1, // QStringList
        LastModifiedRole, // QString, read from the file and the clock at each call
        FileSizeRole, // QString, read from the file at each call
        ErrorMessageRole, // QString; invalid without an error
    };

    explicit SignatureListModel(QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(SignatureListModel)

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    void setSignatures(const QList<SignatureFile>& signatures);
    const QList<SignatureFile>& signatures() const { return m_signatures; }
    std::optional<SignatureFile> signature(int row) const;
    // The row carrying this value's id, or -1.
    int rowOf(const SignatureFile& signature) const;

private:
    QList<SignatureFile> m_signatures;
};

} // namespace veltrin
