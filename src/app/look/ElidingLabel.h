#pragma once

#include <QLabel>

namespace veltrin {

// A one-line label that shortens its text to the width it gets instead of growing.
class ElidingLabel final : public QLabel {
    Q_OBJECT

public:
    explicit ElidingLabel(Qt::TextElideMode mode, QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(ElidingLabel)

    void setFullText(const QString& text);
    QString fullText() const { return m_fullText; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateShownText();

    Qt::TextElideMode m_mode;
    QString m_fullText;
};

} // namespace veltrin
