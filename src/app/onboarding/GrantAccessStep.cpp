#include "app/onboarding/GrantAccessStep.h"

#include "app/look/Controls.h"
#include "app/look/ElidingLabel.h"
#include "app/look/Style.h"
#include "app/onboarding/HelpSheet.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace veltrin {

namespace {

QLayout* reassuranceRow(
    const QString& symbol, Style::Color color, const QString& heading, const QString& detail, QWidget* parent)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    row->addWidget(
        Controls::symbolLabel(symbol, Style::font(Style::TextStyle::title2).pixelSize() + 3, color, parent));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->addWidget(
        Controls::textLabel(heading, Style::font(Style::TextStyle::headline), Style::Color::primary, parent));
    auto* detailLabel = Controls::textLabel(
        detail, Style::font(Style::TextStyle::caption), Style::Color::secondary, parent);
    detailLabel->setWordWrap(true);
    texts->addWidget(detailLabel);
    row->addLayout(texts, 1);
    return row;
}

} // namespace

GrantAccessStep::GrantAccessStep(std::function<void()> onGrantAccess, QWidget* parent)
    : GrantAccessStep(std::move(onGrantAccess), std::nullopt, parent)
{
}

GrantAccessStep::GrantAccessStep(
    std::function<void()> onGrantAccess, const std::optional<QString>& storeMessage, QWidget* parent)
    : QWidget(parent)
    , m_onGrantAccess(std::move(onGrantAccess))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(40);
    layout->addStretch(1);

    layout->addWidget(Controls::gradientSymbolLabel(QStringLiteral("folder.badge.questionmark"), 64, this), 0,
        Qt::AlignHCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(12);
    auto* title = Controls::textLabel(
        tr("Grant Folder Access"), Style::systemFont(32, QFont::DemiBold), Style::Color::primary, this);
    title->setAlignment(Qt::AlignCenter);
    title->setWordWrap(true);
    texts->addWidget(title);
    auto* explanation = Controls::textLabel(
        tr("Veltrin needs access to your Mail signatures folder to read and edit signature files"),
        Style::font(Style::TextStyle::body), Style::Color::secondary, this);
    explanation->setAlignment(Qt::AlignCenter);
    explanation->setWordWrap(true);
    explanation->setContentsMargins(60, 0, 60, 0);
    texts->addWidget(explanation);
    if (storeMessage) {
        // One line: a path keeps its start and its end, and the whole text is in the tooltip.
        m_storeMessage = new ElidingLabel(Qt::ElideMiddle);
        m_storeMessage->setObjectName(QStringLiteral("storeMessage"));
        m_storeMessage->setFont(Style::font(Style::TextStyle::body));
        m_storeMessage->setFullText(*storeMessage);
        auto* line = new QHBoxLayout;
        line->setContentsMargins(60, 0, 60, 0);
        line->addWidget(Controls::label(QStringLiteral("exclamationmark.triangle.fill"), m_storeMessage,
                            Style::Color::red, this),
            0, Qt::AlignHCenter);
        texts->addLayout(line);
    }
    layout->addLayout(texts);

    auto* box = new MaterialBox(12, this);
    box->setObjectName(QStringLiteral("reassurance"));
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->setContentsMargins(24, 24, 24, 24);
    boxLayout->setSpacing(16);
    boxLayout->addLayout(reassuranceRow(QStringLiteral("checkmark.shield.fill"), Style::Color::green,
        tr("Your data stays local"), tr("All edits happen on your computer. Nothing is uploaded."), box));
    boxLayout->addWidget(Controls::divider(box));
    boxLayout->addLayout(reassuranceRow(QStringLiteral("clock.arrow.circlepath"), Style::Color::blue,
        tr("Automatic backups"), tr("Changes are backed up before saving."), box));
    auto* boxInset = new QHBoxLayout;
    boxInset->setContentsMargins(80, 0, 80, 0);
    boxInset->addWidget(box);
    layout->addLayout(boxInset);

    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(16);
    m_grantAccessButton
        = Controls::prominentButton(tr("Grant Access"), Controls::ControlSize::large, 300, this);
    m_grantAccessButton->setFont(Style::font(Style::TextStyle::headline));
    connect(m_grantAccessButton, &QPushButton::clicked, this, [this] {
        if (m_onGrantAccess)
            m_onGrantAccess();
    });
    buttons->addWidget(m_grantAccessButton, 0, Qt::AlignHCenter);
    setFocusProxy(m_grantAccessButton);
    // Focus lands on the button, so a screen reader hears the problem with it.
    if (storeMessage)
        m_grantAccessButton->setAccessibleDescription(*storeMessage);

    m_helpButton = Controls::plainButton(this);
    m_helpButton->setText(tr("Why do I need to grant access?"));
    m_helpButton->setFont(Style::font(Style::TextStyle::body));
    Controls::setTextColor(m_helpButton, Style::Color::secondary);
    connect(m_helpButton, &QPushButton::clicked, this, [this] { setShowingHelpSheet(true); });
    buttons->addWidget(m_helpButton, 0, Qt::AlignHCenter);
    layout->addLayout(buttons);

    layout->addStretch(1);
}

GrantAccessStep::~GrantAccessStep() = default;

void GrantAccessStep::setShowingHelpSheet(bool showing)
{
    if (showing == m_showingHelpSheet)
        return;
    m_showingHelpSheet = showing;
    if (showing) {
        m_helpSheet = new HelpSheet(this);
        connect(m_helpSheet, &QDialog::finished, this, [this] { setShowingHelpSheet(false); });
        m_helpSheet->open();
    } else if (m_helpSheet) {
        HelpSheet* sheet = m_helpSheet;
        m_helpSheet = nullptr;
        sheet->disconnect(this);
        sheet->close();
        sheet->deleteLater();
    }
    Q_EMIT showingHelpSheetChanged(showing);
}

} // namespace veltrin
