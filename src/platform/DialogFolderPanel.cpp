#include "DialogFolderPanel.h"

#include <QFileDialog>
#include <QToolButton>

#include <memory>

namespace veltrin {

DialogFolderPanel::DialogFolderPanel(QWidget* parent)
    : m_parent(parent)
{
}

void DialogFolderPanel::begin(const FolderPanelOptions& options, Completion completion)
{
    auto* dialog = new QFileDialog(m_parent.data());
    // The platform's own dialog ignores the label and create-folder settings.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setWindowTitle(options.message);
    if (!options.prompt.isEmpty())
        dialog->setLabelText(QFileDialog::Accept, options.prompt);
    const bool filesOnly = options.canChooseFiles && !options.canChooseDirectories;
    dialog->setFileMode(filesOnly ? QFileDialog::ExistingFile : QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, !options.canChooseFiles);
    if (!options.canCreateDirectories) {
        dialog->setOption(QFileDialog::ReadOnly);
        if (auto* newFolder = dialog->findChild<QToolButton*>(QStringLiteral("newFolderButton")))
            newFolder->hide();
    }
    if (options.directoryURL.isLocalFile())
        dialog->setDirectory(options.directoryURL.toLocalFile());

    // Runs once, whether the dialog is answered or torn down with its parent unanswered.
    auto pending = std::make_shared<Completion>(std::move(completion));
    const auto finish = [pending](FolderPanelResponse response, std::optional<QUrl> url) {
        if (!*pending)
            return;
        const Completion run = std::exchange(*pending, Completion());
        run(response, std::move(url));
    };
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, finish](int result) {
        if (result == QDialog::Accepted) {
            const QList<QUrl> urls = dialog->selectedUrls();
            std::optional<QUrl> url;
            if (!urls.isEmpty() && !urls.constFirst().isEmpty())
                url = urls.constFirst();
            finish(FolderPanelResponse::ok, std::move(url));
        } else {
            finish(FolderPanelResponse::cancel, std::nullopt);
        }
        dialog->deleteLater();
    });
    QObject::connect(dialog, &QObject::destroyed, [finish] { finish(FolderPanelResponse::cancel, std::nullopt); });
    dialog->open();
}

} // namespace veltrin
