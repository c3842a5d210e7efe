#include "app/onboarding/WelcomeStep.h"

#include "app/look/Controls.h"
#include "app/onboarding/FeatureColumn.h"
#include "app/look/Style.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace veltrin {

WelcomeStep::WelcomeStep(std::function<void()> onContinue, QWidget* parent)
    : QWidget(parent)
    , m_onContinue(std::move(onContinue))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 40);
    layout->setSpacing(0);
    layout->addStretch(1);

    layout->addWidget(
        Controls::gradientSymbolLabel(QStringLiteral("signature"), 72, this), 0, Qt::AlignHCenter);
    layout->addSpacing(32);

    auto* title = Controls::textLabel(
        tr("Welcome to Veltrin"), Style::systemFont(32, QFont::Bold), Style::Color::primary, this);
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);
    layout->addSpacing(8);
    auto* subtitle = Controls::textLabel(tr("Edit and manage your Apple Mail signatures with ease"),
        Style::font(Style::TextStyle::body), Style::Color::secondary, this);
    subtitle->setAlignment(Qt::AlignCenter);
    subtitle->setWordWrap(true);
    subtitle->setContentsMargins(80, 0, 80, 0);
    layout->addWidget(subtitle);
    layout->addSpacing(56);

    // Data handed to the columns and shown as it is, hence no translation here.
    struct Feature {
        QString icon, title, description;
    };
    const Feature features[] = {
        { QStringLiteral("eye.fill"), QStringLiteral("Live Preview"),
            QStringLiteral("See your signature in light and dark mode") },
        { QStringLiteral("chevron.left.forwardslash.chevron.right"), QStringLiteral("Code Editor"),
            QStringLiteral("Edit HTML directly") },
        { QStringLiteral("lock.fill"), QStringLiteral("Protected Saves"),
            QStringLiteral("Prevent Mail from overwriting") },
    };
    auto* columns = new QHBoxLayout;
    columns->setSpacing(48);
    columns->setContentsMargins(80, 0, 80, 0);
    for (const Feature& feature : features) {
        auto* column = new FeatureColumn(feature.icon, feature.title, feature.description, this);
        m_columns.append(column);
        // Centred across the row: a column whose text wraps leaves the others at the same middle.
        columns->addWidget(column, 1, Qt::AlignVCenter);
    }
    layout->addLayout(columns);
    layout->addStretch(1);

    m_continueButton = Controls::prominentButton(tr("Continue"), Controls::ControlSize::large, 300, this);
    m_continueButton->setFont(Style::font(Style::TextStyle::headline));
    connect(m_continueButton, &QPushButton::clicked, this, [this] {
        if (m_onContinue)
            m_onContinue();
    });
    layout->addWidget(m_continueButton, 0, Qt::AlignHCenter);
    setFocusProxy(m_continueButton);
}

WelcomeStep::~WelcomeStep() = default;

} // namespace veltrin
