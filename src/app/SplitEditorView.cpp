#include "SplitEditorView.h"

namespace veltrin {

SplitEditorView::SplitEditorView(RunningApplications& runningApplications, QWidget* parent)
    : QWidget(parent)
    , m_runningApplications(runningApplications)
{
}

SplitEditorView::~SplitEditorView() = default;

void SplitEditorView::setSignatures(const QList<SignatureFile>& signatures)
{
    m_signatures = signatures;
}

void SplitEditorView::setSelectedSignature(const std::optional<SignatureFile>& signature)
{
    m_selectedSignature = signature;
}

} // namespace veltrin
