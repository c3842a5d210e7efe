#pragma once

#include <QString>
#include <QWidget>

class QLabel;

namespace veltrin {

// One question of the help sheet and its answer, which wraps at any width.
class HelpSection final : public QWidget {
    Q_OBJECT

public:
    HelpSection(const QString& title, const QString& text, QWidget* parent = nullptr);
    ~HelpSection() override;
    Q_DISABLE_COPY_MOVE(HelpSection)

    QString title() const { return m_title; }
    QString text() const { return m_text; }
    QLabel* textLabel() const { return m_textLabel; }

private:
    QString m_title;
    QString m_text;
    QLabel* m_textLabel = nullptr;
};

} // namespace veltrin
