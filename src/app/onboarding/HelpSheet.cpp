#include "app/onboarding/HelpSheet.h"

#include "app/look/Controls.h"
#include "app/look/Style.h"
#include "app/onboarding/HelpSection.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace veltrin {

HelpSheet::HelpSheet(QWidget* parent)
    : QDialog(parent, Qt::Sheet)
{
    setWindowModality(Qt::WindowModal);
    setFixedSize(sheetWidth, sheetHeight);
    setWindowTitle(tr("How Veltrin Works"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(30, 30, 30, 30);
    layout->setSpacing(20);

    auto* header = new QHBoxLayout;
    header->addWidget(Controls::textLabel(tr("How Veltrin Works"),
        Style::font(Style::TextStyle::title2, QFont::DemiBold), Style::Color::primary, this));
    header->addStretch(1);
    const int symbolSize = Style::font(Style::TextStyle::title2).pixelSize() + 3;
    m_closeButton = Controls::plainSymbolButton(QStringLiteral("xmark.circle.fill"), symbolSize, this);
    Controls::setTextColor(m_closeButton, Style::Color::secondary);
    m_closeButton->setToolTip(tr("Close"));
    Controls::nameBySymbol(m_closeButton, QStringLiteral("xmark.circle.fill"));
    connect(m_closeButton, &QPushButton::clicked, this, &HelpSheet::dismiss);
    header->addWidget(m_closeButton);
    layout->addLayout(header);

    layout->addWidget(Controls::divider(this));

    // Data shown as it is, like the onboarding's feature texts.
    struct Section {
        QString title, text;
    };
    const Section sections[] = {
        { QStringLiteral("Why do I need to grant access?"),
            QStringLiteral("Veltrin explicitly requests permission to access folders outside its own data "
                           "folder. Veltrin needs permission to read and modify signature files in your "
                           "Mail signatures folder.") },
        { QStringLiteral("What happens when I grant access?"),
            QStringLiteral(
                "When you click 'Grant Access', a system dialog will appear. Navigate to and select your "
                "Mail "
                "signatures folder (usually ~/Library/Mail/V*/MailData/Signatures). Veltrin will remember "
                "this folder so that it can access it again at every launch.") },
        { QStringLiteral("Is my data safe?"),
            QStringLiteral(
                "Yes. Veltrin creates automatic backups before saving any changes. You can restore previous "
                "versions at any time. Only you control which folder Veltrin can access, and you can revoke "
                "this "
                "permission at any time.") },
        { QStringLiteral("What data does Veltrin collect?"),
            QStringLiteral(
                "Veltrin works entirely offline. All signature files remain on your computer, and no "
                "signatures are "
                "sent to any server. We only use anonymous user analytics to improve the app.") },
    };
    m_scrollArea = new QScrollArea(this);
    m_scrollArea->setAccessibleName(tr("How Veltrin Works"));
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* content = new QWidget(m_scrollArea);
    content->setAutoFillBackground(false);
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->setSpacing(16);
    for (const Section& section : sections) {
        auto* view = new HelpSection(section.title, section.text, content);
        m_sections.append(view);
        contentLayout->addWidget(view);
    }
    contentLayout->addStretch(1);
    m_scrollArea->setWidget(content);
    m_scrollArea->viewport()->setAutoFillBackground(false);
    layout->addWidget(m_scrollArea, 1);

    layout->addWidget(Controls::divider(this));

    auto* footer = new QHBoxLayout;
    footer->addStretch(1);
    m_gotItButton = Controls::prominentButton(tr("Got it"), Controls::ControlSize::regular, 0, this);
    m_gotItButton->setDefault(true);
    // The sheet opens on its default button, so Return and Space both close it.
    m_gotItButton->setFocus();
    connect(m_gotItButton, &QPushButton::clicked, this, &HelpSheet::dismiss);
    footer->addWidget(m_gotItButton);
    layout->addLayout(footer);
}

HelpSheet::~HelpSheet() = default;

void HelpSheet::dismiss()
{
    done(QDialog::Accepted);
}

} // namespace veltrin
