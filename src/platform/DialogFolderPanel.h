#pragma once

#include "FolderPanel.h"

#include <QPointer>
#include <QWidget>

namespace veltrin {

// The folder chooser as a non-modal QFileDialog: begin() opens a new dialog and returns
// at once; the completion runs on the main thread when the dialog closes, and the dialog is
// deleted afterwards. Every call opens a dialog of its own. The message is shown inside the
// dialog; when files can't be chosen they are still listed, greyed out.
class DialogFolderPanel final : public FolderPanel {
public:
    // Dialogs are centred over parent, or when it is null over the window active at begin().
    explicit DialogFolderPanel(QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(DialogFolderPanel)

    void begin(const FolderPanelOptions& options, Completion completion) override;

private:
    QPointer<QWidget> m_parent;
};

} // namespace veltrin
