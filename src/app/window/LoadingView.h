#pragma once

#include <QWidget>

namespace veltrin {

// Shown from the start of a full load until the window's state is recomputed.
class LoadingView final : public QWidget {
    Q_OBJECT

public:
    explicit LoadingView(QWidget* parent = nullptr);
    ~LoadingView() override;
    Q_DISABLE_COPY_MOVE(LoadingView)
};

} // namespace veltrin
