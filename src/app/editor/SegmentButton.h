#pragma once

#include <QPushButton>

namespace veltrin {

// One segment of a segmented picker. A screen reader meets it as a radio button, checked while
// its segment is chosen, not as the check box a checkable push button reads as.
class SegmentButton final : public QPushButton {
    Q_OBJECT

public:
    explicit SegmentButton(const QString& text, QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(SegmentButton)
};

} // namespace veltrin
