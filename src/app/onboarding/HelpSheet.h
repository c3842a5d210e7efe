#pragma once

#include <QDialog>
#include <QList>

class QPushButton;
class QScrollArea;

namespace veltrin {

class HelpSection;

// Why the folder is needed and how the user's data is treated; a window-modal sheet of a
// fixed size whose sections scroll between a fixed header and footer. Both buttons close it.
class HelpSheet final : public QDialog {
    Q_OBJECT

public:
    static constexpr int sheetWidth = 550;
    static constexpr int sheetHeight = 500;

    explicit HelpSheet(QWidget* parent = nullptr);
    ~HelpSheet() override;
    Q_DISABLE_COPY_MOVE(HelpSheet)

    void dismiss();

    QPushButton* closeButton() const { return m_closeButton; }
    QPushButton* gotItButton() const { return m_gotItButton; }
    QScrollArea* scrollArea() const { return m_scrollArea; }
    QList<HelpSection*> sections() const { return m_sections; }

private:
    QPushButton* m_closeButton = nullptr;
    QPushButton* m_gotItButton = nullptr;
    QScrollArea* m_scrollArea = nullptr;
    QList<HelpSection*> m_sections;
};

} // namespace veltrin
