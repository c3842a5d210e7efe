#include "app/onboarding/HelpSection.h"

#include "app/look/Controls.h"
#include "app/look/Style.h"

#include <QLabel>
#include <QVBoxLayout>

namespace veltrin {

HelpSection::HelpSection(const QString& title, const QString& text, QWidget* parent)
    : QWidget(parent)
    , m_title(title)
    , m_text(text)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    auto* titleLabel
        = Controls::textLabel(title, Style::font(Style::TextStyle::headline), Style::Color::primary, this);
    titleLabel->setWordWrap(true);
    layout->addWidget(titleLabel);
    m_textLabel
        = Controls::textLabel(text, Style::font(Style::TextStyle::body), Style::Color::secondary, this);
    m_textLabel->setWordWrap(true);
    m_textLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_textLabel);
}

HelpSection::~HelpSection() = default;

} // namespace veltrin
