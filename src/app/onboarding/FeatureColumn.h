#pragma once

#include <QString>
#include <QWidget>

class QLabel;

namespace veltrin {

// One feature of the welcome step: a symbol, a heading and a short explanation that wraps.
class FeatureColumn final : public QWidget {
    Q_OBJECT

public:
    FeatureColumn(
        const QString& icon, const QString& title, const QString& description, QWidget* parent = nullptr);
    ~FeatureColumn() override;
    Q_DISABLE_COPY_MOVE(FeatureColumn)

    QString icon() const { return m_icon; }
    QString title() const { return m_title; }
    QString description() const { return m_description; }
    QLabel* titleLabel() const { return m_titleLabel; }
    QLabel* descriptionLabel() const { return m_descriptionLabel; }

private:
    QString m_icon;
    QString m_title;
    QString m_description;
    QLabel* m_titleLabel = nullptr;
    QLabel* m_descriptionLabel = nullptr;
};

} // namespace veltrin
