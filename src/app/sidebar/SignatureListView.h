#pragma once

#include <QListView>

namespace veltrin {

// The sidebar's list. Down with nothing selected selects the first row, also when the
// keyboard's place (the current row) already is that row.
class SignatureListView final : public QListView {
    Q_OBJECT

public:
    explicit SignatureListView(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(SignatureListView)

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace veltrin
