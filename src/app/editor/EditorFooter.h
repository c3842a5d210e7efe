#pragma once

#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;

namespace veltrin {

// The editor's footer: the Mail warning, the unsaved indicator and "Save to Mail".
class EditorFooter final : public QWidget {
    Q_OBJECT

public:
    explicit EditorFooter(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(EditorFooter)

    void setMailRunning(bool running);
    void setUnsavedChanges(bool unsaved);
    void setSaveEnabled(bool enabled);
    // A sentence about the last save, shown while present.
    void setNotLockedNote(const std::optional<QString>& sentence);

Q_SIGNALS:
    void saveClicked();
    // "Save to Mail" became enabled or disabled.
    void saveEnabledChanged(bool enabled);

protected:
    void changeEvent(QEvent* event) override;

private:
    void restyle();

    QWidget* m_mailWarning;
    QLabel* m_mailWarningIcon;
    QLabel* m_mailWarningText;
    QWidget* m_unsavedIndicator;
    QLabel* m_unsavedDot;
    QLabel* m_unsavedText;
    QPushButton* m_saveButton;
    QLabel* m_notLockedNote;
};

} // namespace veltrin
