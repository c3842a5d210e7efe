#pragma once

#include "store/SignatureFile.h"

#include <QAbstractListModel>
#include <QList>
#include <QTimer>

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
        LastModifiedRole, // QString: the scan's time against the clock at each call
        FileSizeRole, // QString: the scan's size
        ErrorMessageRole, // QString; invalid without an error
    };

    // How often the age texts are told to have changed, so that "1 min. ago" moves on.
    static constexpr int ageRefreshInterval = 30'000;

    explicit SignatureListModel(QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(SignatureListModel)

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Tests shorten it.
    void setAgeRefreshInterval(int milliseconds) { m_ageTimer->setInterval(milliseconds); }

    void setSignatures(const QList<SignatureFile>& signatures);
    const QList<SignatureFile>& signatures() const { return m_signatures; }
    std::optional<SignatureFile> signature(int row) const;
    // The row carrying this value's id, or -1.
    int rowOf(const SignatureFile& signature) const;

private:
    void refreshAges();

    QList<SignatureFile> m_signatures;
    QTimer* m_ageTimer = nullptr;
};

} // namespace veltrin
