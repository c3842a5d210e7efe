#include "app/onboarding/FeatureColumn.h"

#include "app/look/Controls.h"
#include "app/look/Style.h"

#include <QLabel>
#include <QVBoxLayout>

namespace veltrin {

FeatureColumn::FeatureColumn(
    const QString& icon, const QString& title, const QString& description, QWidget* parent)
    : QWidget(parent)
    , m_icon(icon)
    , m_title(title)
    , m_description(description)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);

    auto* symbol = Controls::symbolLabel(icon, 36, Style::Color::blue, this);
    symbol->setFixedHeight(44);
    layout->addWidget(symbol);

    m_titleLabel
        = Controls::textLabel(title, Style::systemFont(15, QFont::DemiBold), Style::Color::primary, this);
    m_titleLabel->setAlignment(Qt::AlignCenter);
    m_titleLabel->setContentsMargins(0, 2, 0, 0);
    layout->addWidget(m_titleLabel);

    // Rich text only for the extra 2 between lines; the description itself is escaped.
    m_descriptionLabel = Controls::textLabel(QString(), Style::systemFont(13), Style::Color::secondary, this);
    m_descriptionLabel->setTextFormat(Qt::RichText);
    m_descriptionLabel->setText(QStringLiteral(
        "<div align=\"center\" style=\"line-height: 2px; -qt-line-height-type: line-distance;\">%1</div>")
                                    .arg(description.toHtmlEscaped()));
    m_descriptionLabel->setWordWrap(true);
    m_descriptionLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    // Columns share the width equally; the height follows the wrapped text.
    QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Minimum);
    policy.setHeightForWidth(true);
    m_descriptionLabel->setSizePolicy(policy);
    layout->addWidget(m_descriptionLabel);
}

FeatureColumn::~FeatureColumn() = default;

} // namespace veltrin
