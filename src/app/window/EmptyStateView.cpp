#include "app/window/EmptyStateView.h"

#include "app/look/Controls.h"
#include "app/look/Style.h"
#include "app/look/Symbols.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace veltrin {

namespace {

// A text that wraps with centred lines inside a side inset.
QWidget* insetText(const QString& text, int inset, QWidget* parent)
{
    auto* label
        = Controls::textLabel(text, Style::font(Style::TextStyle::body), Style::Color::secondary, parent);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    label->setContentsMargins(inset, 0, inset, 0);
    return label;
}

} // namespace

EmptyStateView::EmptyStateView(std::function<void()> onRescan, QWidget* parent)
    : QWidget(parent)
    , m_onRescan(std::move(onRescan))
{
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(24);
    layout->addStretch(1);

    layout->addWidget(
        Controls::symbolLabel(QStringLiteral("doc.text.magnifyingglass"), 64, Style::Color::secondary, this),
        0, Qt::AlignHCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(8);
    auto* title = Controls::textLabel(tr("No signatures found"),
        Style::font(Style::TextStyle::title2, QFont::DemiBold), Style::Color::primary, this);
    title->setAlignment(Qt::AlignCenter);
    texts->addWidget(title);
    texts->addWidget(insetText(tr("No .mailsignature files found in your Mail signatures folder"), 40, this));
    layout->addLayout(texts);

    auto* hint = new QVBoxLayout;
    hint->setSpacing(12);
    hint->setContentsMargins(0, 8, 0, 0);
    hint->addWidget(insetText(tr("You can create signatures in Apple Mail"), 40, this));
    auto* box = new MaterialBox(6, this);
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->setContentsMargins(16, 8, 16, 8);
    QFont monospaced = Style::monospacedFont(Style::font(Style::TextStyle::caption).pixelSize());
    m_hintLabel = Controls::textLabel(
        tr("Mail \u2192 Settings \u2192 Signatures"), monospaced, Style::Color::primary, box);
    boxLayout->addWidget(m_hintLabel);
    hint->addWidget(box, 0, Qt::AlignHCenter);
    layout->addLayout(hint);

    m_rescanButton = Controls::prominentButton(tr("Rescan Folder"), Controls::ControlSize::large, 0, this);
    m_rescanButton->setIcon(Symbols::icon(QStringLiteral("arrow.clockwise"), Qt::white));
    connect(m_rescanButton, &QPushButton::clicked, this, [this] {
        if (m_onRescan)
            m_onRescan();
    });
    layout->addWidget(m_rescanButton, 0, Qt::AlignHCenter);
    setFocusProxy(m_rescanButton);
    layout->addStretch(1);
}

EmptyStateView::~EmptyStateView() = default;

} // namespace veltrin
