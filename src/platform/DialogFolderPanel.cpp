#include "DialogFolderPanel.h"

#include <QApplication>
#include <QBoxLayout>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QTreeView>

#include <memory>
#include <vector>

namespace veltrin {

namespace {

// Lists files greyed out, so that a folder chooser still shows what the folder holds.
class FilesDisabledModel final : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        Qt::ItemFlags flags = QIdentityProxyModel::flags(index);
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (files && index.isValid() && !files->isDir(mapToSource(index)))
            flags &= ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        return flags;
    }
};

// Puts the message above everything the dialog lays out itself.
void addMessage(QFileDialog& dialog, const QString& message)
{
    auto* label = new QLabel(message, &dialog);
    label->setObjectName(QStringLiteral("veltrinPanelMessage"));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    if (auto* box = qobject_cast<QBoxLayout*>(dialog.layout())) {
        box->insertWidget(0, label);
        return;
    }
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (!grid) {
        // No layout we know how to extend: the message must still be seen.
        delete label;
        dialog.setWindowTitle(message);
        return;
    }
    struct Placed {
        QLayoutItem* item;
        int row, column, rowSpan, columnSpan;
    };
    std::vector<Placed> placed;
    while (grid->count() > 0) {
        Placed p {};
        grid->getItemPosition(0, &p.row, &p.column, &p.rowSpan, &p.columnSpan);
        p.item = grid->takeAt(0);
        placed.push_back(p);
    }
    for (const Placed& p : placed)
        grid->addItem(p.item, p.row + 1, p.column, p.rowSpan, p.columnSpan, p.item->alignment());
    grid->addWidget(label, 0, 0, 1, grid->columnCount());
}

// The dialog's own column widths cut sizes, types and dates short ("399…tes"). Once the folder is
// read, each of those columns takes what its texts need and the name keeps the rest; the user can
// still drag them wider.
void fitColumns(QFileDialog& dialog)
{
    auto* tree = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    auto* files = dialog.findChild<QFileSystemModel*>();
    if (!tree || !files)
        return;
    const auto fit = [tree] {
        QHeaderView* header = tree->header();
        int others = 0;
        for (int column = 1; column < header->count(); ++column) {
            if (header->isSectionHidden(column))
                continue;
            tree->resizeColumnToContents(column);
            others += header->sectionSize(column);
        }
        // The last column stretches to the edge; the name takes the room left of the others.
        const int name = qMax(
            static_cast<QAbstractItemView*>(tree)->sizeHintForColumn(0), tree->viewport()->width() - others);
        header->resizeSection(0, name);
    };
    QObject::connect(files, &QFileSystemModel::directoryLoaded, tree, fit, Qt::QueuedConnection);
}

} // namespace

DialogFolderPanel::DialogFolderPanel(QWidget* parent)
    : m_parent(parent)
{
}

void DialogFolderPanel::begin(const FolderPanelOptions& options, Completion completion)
{
    QWidget* parent = m_parent ? m_parent.data() : QApplication::activeWindow();
    auto* dialog = new QFileDialog(parent);
    // The platform's own dialog ignores the label and create-folder settings.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    if (!options.message.isEmpty())
        addMessage(*dialog, options.message);
    if (!options.prompt.isEmpty())
        dialog->setLabelText(QFileDialog::Accept, options.prompt);
    const bool filesOnly = options.canChooseFiles && !options.canChooseDirectories;
    dialog->setFileMode(filesOnly ? QFileDialog::ExistingFile : QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, false);
    if (!options.canChooseFiles)
        dialog->setProxyModel(new FilesDisabledModel(dialog));
    // Read-only disables the dialog's new-folder button and menu entry.
    dialog->setOption(QFileDialog::ReadOnly, !options.canCreateDirectories);
    fitColumns(*dialog);
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
    QObject::connect(
        dialog, &QObject::destroyed, [finish] { finish(FolderPanelResponse::cancel, std::nullopt); });
    // open() would make the dialog window-modal to its parent; show() keeps the window usable,
    // and the parent still centres the dialog over it.
    dialog->setWindowModality(Qt::NonModal);
    dialog->show();
}

} // namespace veltrin
