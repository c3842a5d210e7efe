#pragma once

#include "store/SignatureFile.h"

#include <QWidget>

class QLabel;

namespace veltrin {

// One signature in the sidebar: its name, the accounts that use it, its age and size, and
// its error message when it has one.
class SignatureRow final : public QWidget {
    Q_OBJECT

public:
    explicit SignatureRow(const SignatureFile& signature, QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(SignatureRow)

    const SignatureFile& signature() const { return m_signature; }

    // The file's size for display, or "Unknown size" when the file can't be asked.
    static QString fileSize(const SignatureFile& signature);
    // The time since the file last changed, for display.
    static QString lastModified(const SignatureFile& signature);

    // Decimal units, as file sizes are shown: "Zero KB", "1 byte", "12 KB", "1.2 MB".
    static QString formatByteCount(qint64 bytes);
    // Abbreviated units: "5 min. ago", "in 2 hr.", "3 days ago".
    static QString formatRelativeTime(const QDateTime& date, const QDateTime& now);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColours();

    SignatureFile m_signature;
    QList<QLabel*> m_secondaryLabels;
    QList<QLabel*> m_tertiaryLabels;
    QLabel* m_errorIcon = nullptr;
    QLabel* m_errorText = nullptr;
    bool m_applyingColours = false;
};

} // namespace veltrin
