#include "platform/BookmarkFolderAccess.h"
#include "platform/DialogFolderPanel.h"

#include "TestSupport.h"

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <unistd.h>

using namespace veltrin;
using namespace Qt::StringLiterals;

namespace {

QList<QFileDialog*> openDialogs()
{
    QList<QFileDialog*> dialogs;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible())
            dialogs.append(dialog);
    }
    return dialogs;
}

// The options the signature service gives the panel.
FolderPanelOptions folderOptions(const QString& folder)
{
    FolderPanelOptions options;
    options.message = u"Please select the folder to work in"_s;
    options.prompt = u"Grant Access"_s;
    options.canChooseFiles = false;
    options.canChooseDirectories = true;
    options.canCreateDirectories = false;
    options.directoryURL = QUrl::fromLocalFile(folder);
    return options;
}

QLabel* labelWithText(const QWidget& dialog, const QString& text)
{
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label->text() == text)
            return label;
    }
    return nullptr;
}

// The visible view that lists the folder's contents (not the sidebar of places).
QAbstractItemView* listingOf(const QFileDialog& dialog)
{
    for (QAbstractItemView* view : dialog.findChildren<QAbstractItemView*>()) {
        if (view->isVisible() && view->model() == dialog.proxyModel())
            return view;
    }
    return nullptr;
}

struct Answer {
    int calls = 0;
    FolderPanelResponse response = FolderPanelResponse::cancel;
    std::optional<QUrl> url;
};

FolderPanel::Completion recordInto(Answer& answer)
{
    return [&answer](FolderPanelResponse response, std::optional<QUrl> url) {
        ++answer.calls;
        answer.response = response;
        answer.url = std::move(url);
    };
}

} // namespace

class TestFolderAccess : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void roundTrip_data();
    void roundTrip();
    void replacedFolderIsStale_data();
    void replacedFolderIsStale();
    void goneFolderIsAnError();
    void malformedRecords_data();
    void malformedRecords();
    void everyTruncationFails();
    void bookmarkFailures_data();
    void bookmarkFailures();
    void startAccess_data();
    void startAccess();
    void unreadableFolder();
    void stopIsBookkeeping();

    void panelAppliesOptions_data();
    void panelAppliesOptions();
    void panelListsFilesUnselectable();
    void panelColumnsShowTheirTextsWhole();
    void panelCentredAndNonModal_data();
    void panelCentredAndNonModal();
    void panelAnswers_data();
    void panelAnswers();
    void twoPanelsAnswerOnTheirOwn();
    void panelClosedWithItsParent();
};

void TestFolderAccess::cleanup()
{
    // A failed check can leave a dialog open; its completion refers to the ended test's locals.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QFileDialog*>(widget)) {
            QObject::disconnect(dialog, nullptr, nullptr, nullptr);
            delete dialog;
        }
    }
}

void TestFolderAccess::roundTrip_data()
{
    QTest::addColumn<QString>("relative"); // folder below the temporary folder
    QTest::addColumn<QString>("urlSuffix"); // appended to the path given to bookmarkData
    QTest::addRow("plain") << u"Signatures"_s << QString();
    QTest::addRow("spaces and non-ASCII") << u"Mail Data/Signatür \U0001F4E7"_s << QString();
    QTest::addRow("trailing slash") << u"Signatures"_s << u"/"_s;
    QTest::addRow("dot segments") << u"Signatures"_s << u"/../Signatures/."_s;
}

void TestFolderAccess::roundTrip()
{
    QFETCH(QString, relative);
    QFETCH(QString, urlSuffix);
    QTemporaryDir dir;
    const QString folder = dir.filePath(relative);
    QVERIFY(QDir().mkpath(folder));
    BookmarkFolderAccess access;

    const auto data = access.bookmarkData(QUrl::fromLocalFile(folder + urlSuffix));
    QVERIFY2(data, qPrintable((data ? QString() : data.error().description)));
    QVERIFY(!data->isEmpty());
    // Another instance (a later launch) resolves it just as well.
    BookmarkFolderAccess later;
    const auto resolved = later.resolveBookmark(*data);
    QVERIFY2(resolved, qPrintable((resolved ? QString() : resolved.error().description)));
    QCOMPARE(resolved->url, QUrl::fromLocalFile(folder));
    QVERIFY(!resolved->isStale);
}

void TestFolderAccess::replacedFolderIsStale_data()
{
    QTest::addColumn<bool>("byFile");
    QTest::addRow("another folder") << false;
    QTest::addRow("a file") << true;
}

void TestFolderAccess::replacedFolderIsStale()
{
    QFETCH(bool, byFile);
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"Signatures"_s);
    QVERIFY(QDir().mkpath(folder));
    BookmarkFolderAccess access;
    const QByteArray data = *access.bookmarkData(QUrl::fromLocalFile(folder));

    // The old folder lives on elsewhere, so the new object can't reuse its inode.
    QVERIFY(QDir().rename(folder, dir.filePath(u"Old"_s)));
    if (byFile)
        QVERIFY(test::writeFile(folder, "x"));
    else
        QVERIFY(QDir().mkpath(folder));

    const auto resolved = access.resolveBookmark(data);
    QVERIFY(resolved);
    QVERIFY(resolved->isStale);
    QCOMPARE(resolved->url, QUrl::fromLocalFile(folder));
}

void TestFolderAccess::goneFolderIsAnError()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"Signatures"_s);
    QVERIFY(QDir().mkpath(folder));
    BookmarkFolderAccess access;
    const QByteArray data = *access.bookmarkData(QUrl::fromLocalFile(folder));
    QVERIFY(QDir(folder).removeRecursively());

    const auto resolved = access.resolveBookmark(data);
    QVERIFY(!resolved);
    QCOMPARE(resolved.error().description, u"The folder \u201C%1\u201D doesn't exist."_s.arg(folder));
}

void TestFolderAccess::malformedRecords_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("expected");
    const QString malformed = u"The bookmark data isn't in the correct format."_s;
    const QString incomplete = u"The bookmark data is incomplete."_s;
    const QString path = u"/tmp"_s;
    const QByteArray valid = BookmarkFolderAccess::encodeRecord(path, 1, 2);
    QTest::addRow("empty") << QByteArray() << malformed;
    QTest::addRow("garbage") << QByteArray("\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR", 16) << malformed;
    QTest::addRow("magic only") << valid.left(4) << incomplete;
    QTest::addRow("path cut short") << valid.chopped(1) << incomplete;
    QTest::addRow("future version") << BookmarkFolderAccess::encodeRecord(
        path, 1, 2, 7) << u"The bookmark data was made by a newer version of Veltrin (format 7)."_s;
    QTest::addRow("version 0") << BookmarkFolderAccess::encodeRecord(path, 1, 2, 0) << malformed;
    QTest::addRow("trailing bytes") << valid + "x" << malformed;
    QTest::addRow("relative path") << BookmarkFolderAccess::encodeRecord(u"tmp"_s, 1, 2) << malformed;
    QTest::addRow("unclean path") << BookmarkFolderAccess::encodeRecord(u"/tmp/../tmp"_s, 1, 2) << malformed;
    QTest::addRow("empty path") << BookmarkFolderAccess::encodeRecord(QString(), 1, 2) << malformed;
    {
        QByteArray invalidUtf8 = BookmarkFolderAccess::encodeRecord(u"/tm"_s, 1, 2);
        invalidUtf8[invalidUtf8.size() - 1] = char(0xFF);
        QTest::addRow("path not UTF-8") << invalidUtf8 << malformed;
    }
    {
        QByteArray hugeLength = valid;
        hugeLength[21] = char(0x7F); // a path length of about two gigabytes
        QTest::addRow("absurd path length") << hugeLength << malformed;
    }
}

void TestFolderAccess::malformedRecords()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, expected);
    BookmarkFolderAccess access;
    const auto resolved = access.resolveBookmark(data);
    QVERIFY(!resolved);
    QCOMPARE(resolved.error().description, expected);
}

void TestFolderAccess::everyTruncationFails()
{
    QTemporaryDir dir;
    BookmarkFolderAccess access;
    const QByteArray data = *access.bookmarkData(QUrl::fromLocalFile(dir.path()));
    for (qsizetype length = 0; length < data.size(); ++length) {
        const auto resolved = access.resolveBookmark(data.left(length));
        QVERIFY2(!resolved, qPrintable(u"prefix of %1 bytes resolved"_s.arg(length)));
        QVERIFY(!resolved.error().description.isEmpty());
    }
}

void TestFolderAccess::bookmarkFailures_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<QString>("expected");
    QTest::addRow("missing folder") << QUrl::fromLocalFile(u"/nonexistent/veltrin"_s)
                                    << u"The folder \u201C/nonexistent/veltrin\u201D doesn't exist."_s;
    QTest::addRow("below a file") << QUrl::fromLocalFile(u"/etc/hostname/inner"_s)
                                  << u"The folder \u201C/etc/hostname/inner\u201D doesn't exist."_s;
    QTest::addRow("remote URL") << QUrl(u"https://example.com/x"_s)
                                << u"\u201Chttps://example.com/x\u201D isn't a folder on this computer."_s;
    QTest::addRow("empty URL") << QUrl() << u"\u201C\u201D isn't a folder on this computer."_s;
}

void TestFolderAccess::bookmarkFailures()
{
    QFETCH(QUrl, url);
    QFETCH(QString, expected);
    BookmarkFolderAccess access;
    const auto data = access.bookmarkData(url);
    QVERIFY(!data);
    QCOMPARE(data.error().description, expected);
}

void TestFolderAccess::startAccess_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("expected");
    QTest::addRow("folder") << u"folder"_s << true;
    QTest::addRow("missing") << u"missing"_s << false;
    QTest::addRow("file") << u"file"_s << false;
    QTest::addRow("remote URL") << u"remote"_s << false;
}

void TestFolderAccess::startAccess()
{
    QFETCH(QString, kind);
    QFETCH(bool, expected);
    QTemporaryDir dir;
    QUrl url = QUrl::fromLocalFile(dir.filePath(u"target"_s));
    if (kind == u"folder")
        QVERIFY(QDir(dir.path()).mkdir(u"target"_s));
    else if (kind == u"file")
        QVERIFY(test::writeFile(url.toLocalFile(), "x"));
    else if (kind == u"remote")
        url = QUrl(u"https://example.com/target"_s);
    BookmarkFolderAccess access;
    QCOMPARE(access.startAccessing(url), expected);
    QCOMPARE(access.accessCount(url), expected ? 1 : 0);
}

void TestFolderAccess::unreadableFolder()
{
    if (::geteuid() == 0)
        QSKIP("running as root: permissions don't keep this process from listing a folder");
    QTemporaryDir dir;
    const QString folder = dir.filePath(u"locked"_s);
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::setPermissions(folder, QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    BookmarkFolderAccess access;
    // The bookmark can still be made and resolved; only the access fails.
    const auto data = access.bookmarkData(QUrl::fromLocalFile(folder));
    QVERIFY(data);
    QVERIFY(access.resolveBookmark(*data));
    QVERIFY(!access.startAccessing(QUrl::fromLocalFile(folder)));
    QVERIFY(QFile::setPermissions(
        folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
}

void TestFolderAccess::stopIsBookkeeping()
{
    QTemporaryDir dir;
    const QUrl url = QUrl::fromLocalFile(dir.path());
    const QUrl sameWithSlash = QUrl::fromLocalFile(dir.path() + u'/');
    BookmarkFolderAccess access;
    QVERIFY(access.startAccessing(url));
    QVERIFY(access.startAccessing(sameWithSlash));
    QCOMPARE(access.accessCount(url), 2);
    access.stopAccessing(sameWithSlash);
    QCOMPARE(access.accessCount(url), 1);
    access.stopAccessing(url);
    access.stopAccessing(url); // one stop too many does nothing
    access.stopAccessing(QUrl::fromLocalFile(u"/never/started"_s));
    QCOMPARE(access.accessCount(url), 0);
    QVERIFY(access.startAccessing(url));
    QCOMPARE(access.accessCount(url), 1);
}

void TestFolderAccess::panelAppliesOptions_data()
{
    QTest::addColumn<bool>("canCreateDirectories");
    QTest::addRow("no new folders") << false;
    QTest::addRow("new folders") << true;
}

void TestFolderAccess::panelAppliesOptions()
{
    QFETCH(bool, canCreateDirectories);
    QTemporaryDir dir;
    DialogFolderPanel panel;
    FolderPanelOptions options = folderOptions(dir.path());
    options.canCreateDirectories = canCreateDirectories;
    Answer answer;
    panel.begin(options, recordInto(answer));

    // begin() returned while the dialog is still open.
    QCOMPARE(answer.calls, 0);
    const QList<QFileDialog*> dialogs = openDialogs();
    QCOMPARE(dialogs.size(), 1);
    QFileDialog* dialog = dialogs.constFirst();
    QCOMPARE(dialog->labelText(QFileDialog::Accept), options.prompt);
    QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
    QCOMPARE(QDir(dialog->directory()).canonicalPath(), QDir(dir.path()).canonicalPath());

    // The message is read inside the dialog, above the listing, not in its title.
    QVERIFY(!dialog->windowTitle().contains(options.message));
    QLabel* message = labelWithText(*dialog, options.message);
    QVERIFY(message);
    QVERIFY(message->isVisible());
    QVERIFY(dialog->rect().contains(QRect(message->mapTo(dialog, QPoint()), message->size())));
    QAbstractItemView* listing = listingOf(*dialog);
    QVERIFY(listing);
    QVERIFY(message->mapTo(dialog, QPoint()).y() < listing->mapTo(dialog, QPoint()).y());

    QCOMPARE(dialog->testOption(QFileDialog::ReadOnly), !canCreateDirectories);
    // Qt's own name for the button: should it change, this fails rather than pass unseen.
    auto* newFolder = dialog->findChild<QToolButton*>(u"newFolderButton"_s);
    QVERIFY2(newFolder, "the dialog's new-folder button is no longer found by its name");
    QCOMPARE(newFolder->isEnabled(), canCreateDirectories);
    dialog->reject();
    QCOMPARE(answer.calls, 1);
}

// At the panel's own size every column is wide enough for what it lists: sizes and types are
// not cut short, and nothing is pushed out of sight to the right.
void TestFolderAccess::panelColumnsShowTheirTextsWhole()
{
    QTemporaryDir dir;
    QVERIFY(test::writeFile(dir.filePath(u"notes.txt"_s), QByteArray(399, 'x')));
    QVERIFY(test::writeFile(dir.filePath(u"A1B2.mailsignature"_s), QByteArray(2048, 'y')));
    QVERIFY(QDir().mkdir(dir.filePath(u"Older"_s)));
    DialogFolderPanel panel;
    Answer answer;
    panel.begin(folderOptions(dir.path()), recordInto(answer));
    QCOMPARE(openDialogs().size(), 1);
    QFileDialog* dialog = openDialogs().constFirst();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    auto* listing = qobject_cast<QTreeView*>(listingOf(*dialog));
    QVERIFY(listing);
    const QModelIndex folder = listing->rootIndex();
    QTRY_COMPARE(listing->model()->rowCount(folder), 3);

    QHeaderView* header = listing->header();
    const auto clipped = [&] {
        QStringList cut;
        for (int column = 0; column < header->count(); ++column) {
            if (header->isSectionHidden(column))
                continue;
            // The tree's own measure, by its delegate, of what the column's visible rows need.
            const int needed = static_cast<QAbstractItemView*>(listing)->sizeHintForColumn(column);
            if (needed > header->sectionSize(column))
                cut << listing->model()->headerData(column, Qt::Horizontal).toString();
        }
        if (header->length() > listing->viewport()->width())
            cut << u"(wider than the panel)"_s;
        return cut;
    };
    QTRY_VERIFY2(clipped().isEmpty(), qPrintable(clipped().join(u", ")));
    QCOMPARE(answer.calls, 0);
    if (const std::optional<QDir> pictures = test::requestedScreenshotDir()) {
        QApplication::processEvents();
        QVERIFY(dialog->grab().save(pictures->filePath(u"folder-panel-light.png"_s)));
        const QPalette light = QApplication::palette();
        QApplication::setPalette(test::darkPalette());
        QApplication::processEvents();
        QVERIFY(dialog->grab().save(pictures->filePath(u"folder-panel-dark.png"_s)));
        QApplication::setPalette(light);
    }
}

void TestFolderAccess::panelListsFilesUnselectable()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(u"A1B2.mailsignature"_s);
    const QString sub = dir.filePath(u"Older"_s);
    QVERIFY(test::writeFile(file, "Content-Type: text/html\n\n<b>hi</b>\n"));
    QVERIFY(QDir().mkdir(sub));
    DialogFolderPanel panel;
    Answer answer;
    panel.begin(folderOptions(dir.path()), recordInto(answer));
    QCOMPARE(openDialogs().size(), 1);
    QFileDialog* dialog = openDialogs().constFirst();
    QAbstractItemView* listing = listingOf(*dialog);
    QVERIFY(listing);
    auto* proxy = qobject_cast<QAbstractProxyModel*>(listing->model());
    QVERIFY(proxy);
    auto* files = qobject_cast<QFileSystemModel*>(proxy->sourceModel());
    QVERIFY(files);

    // The listing fills in the background.
    const QModelIndex folder = proxy->mapFromSource(files->index(dir.path()));
    QTRY_COMPARE(proxy->rowCount(folder), 2);
    const QModelIndex fileRow = proxy->mapFromSource(files->index(file));
    const QModelIndex subRow = proxy->mapFromSource(files->index(sub));
    QVERIFY(fileRow.isValid());
    QCOMPARE(fileRow.parent(), folder);
    QVERIFY(!(fileRow.flags() & Qt::ItemIsEnabled));
    QVERIFY(!(fileRow.flags() & Qt::ItemIsSelectable));
    QVERIFY(subRow.flags() & Qt::ItemIsEnabled);
    QVERIFY(subRow.flags() & Qt::ItemIsSelectable);

    // Clicking the file selects nothing; clicking the folder selects it.
    QTRY_VERIFY(!listing->visualRect(listing->model()->index(fileRow.row(), 0, folder)).isEmpty());
    const auto click = [&](const QModelIndex& row) {
        const QModelIndex cell = listing->model()->index(row.row(), 0, row.parent());
        QTest::mouseClick(listing->viewport(), Qt::LeftButton, {}, listing->visualRect(cell).center());
    };
    click(fileRow);
    QVERIFY(listing->selectionModel()->selectedIndexes().isEmpty());
    click(subRow);
    QVERIFY(!listing->selectionModel()->selectedIndexes().isEmpty());
    QCOMPARE(listing->selectionModel()->selectedIndexes().constFirst().row(), subRow.row());

    static_cast<QDialog*>(dialog)->accept();
    QCOMPARE(answer.calls, 1);
    QCOMPARE(answer.response, FolderPanelResponse::ok);
    QVERIFY(answer.url);
    QCOMPARE(QDir(answer.url->toLocalFile()).canonicalPath(), QDir(sub).canonicalPath());
}

void TestFolderAccess::panelCentredAndNonModal_data()
{
    QTest::addColumn<bool>("parentGiven"); // else the window active at begin() is the parent
    QTest::addRow("parent given") << true;
    QTest::addRow("active window") << false;
}

void TestFolderAccess::panelCentredAndNonModal()
{
    QFETCH(bool, parentGiven);
    // Off the screen's centre, so that a dialog centred on the screen is told apart.
    auto window = std::make_unique<QWidget>();
    window->setGeometry(150, 300, 640, 440);
    auto* button = new QPushButton(u"Rescan"_s, window.get());
    button->setGeometry(10, 10, 100, 30);
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));

    DialogFolderPanel panel(parentGiven ? window.get() : nullptr);
    Answer answer;
    panel.begin(FolderPanelOptions {}, recordInto(answer));
    QCOMPARE(openDialogs().size(), 1);
    QPointer<QFileDialog> dialog = openDialogs().constFirst();
    QCOMPARE(dialog->parentWidget(), window.get());

    QCOMPARE(dialog->windowModality(), Qt::NonModal);
    QVERIFY(!dialog->isModal());
    QCOMPARE(QGuiApplication::modalWindow(), nullptr);
    // The window still takes input while the dialog is open.
    QSignalSpy clicked(button, &QPushButton::clicked);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(clicked.size(), 1);

    const QRect screen = window->screen()->availableGeometry();
    const QRect frame = dialog->frameGeometry();
    QVERIFY2(screen.contains(frame), "the dialog must fit the screen for its centre to be checked");
    QVERIFY(qAbs(frame.center().x() - window->frameGeometry().center().x()) <= 1);
    QVERIFY(qAbs(frame.center().y() - window->frameGeometry().center().y()) <= 1);

    dialog->reject();
    QCOMPARE(answer.calls, 1);
    QTRY_VERIFY(dialog.isNull());
    window.reset();
    QCOMPARE(answer.calls, 1);
}

void TestFolderAccess::panelAnswers_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addRow("accepted") << true;
    QTest::addRow("cancelled") << false;
}

void TestFolderAccess::panelAnswers()
{
    QFETCH(bool, accept);
    QTemporaryDir dir;
    DialogFolderPanel panel;
    FolderPanelOptions options;
    options.canChooseFiles = false;
    options.canChooseDirectories = true;
    options.directoryURL = QUrl::fromLocalFile(dir.path());
    Answer answer;
    panel.begin(options, recordInto(answer));
    QCOMPARE(openDialogs().size(), 1);
    QPointer<QFileDialog> dialog = openDialogs().constFirst();

    if (accept)
        static_cast<QDialog*>(dialog.data())->accept(); // nothing typed: the folder shown is the choice
    else
        dialog->reject();
    QCOMPARE(answer.calls, 1);
    QCOMPARE(answer.response, accept ? FolderPanelResponse::ok : FolderPanelResponse::cancel);
    if (accept) {
        QVERIFY(answer.url);
        QCOMPARE(QDir(answer.url->toLocalFile()).canonicalPath(), QDir(dir.path()).canonicalPath());
    } else {
        QVERIFY(!answer.url);
    }
    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(answer.calls, 1);
}

void TestFolderAccess::twoPanelsAnswerOnTheirOwn()
{
    QTemporaryDir first, second;
    DialogFolderPanel panel;
    FolderPanelOptions options;
    options.canChooseFiles = false;
    options.canChooseDirectories = true;
    Answer a, b;
    options.directoryURL = QUrl::fromLocalFile(first.path());
    panel.begin(options, recordInto(a));
    options.directoryURL = QUrl::fromLocalFile(second.path());
    panel.begin(options, recordInto(b));
    const QList<QFileDialog*> dialogs = openDialogs();
    QCOMPARE(dialogs.size(), 2);
    QFileDialog* secondDialog
        = QDir(dialogs.at(0)->directory()).canonicalPath() == QDir(second.path()).canonicalPath()
        ? dialogs.at(0)
        : dialogs.at(1);
    QFileDialog* firstDialog = secondDialog == dialogs.at(0) ? dialogs.at(1) : dialogs.at(0);

    static_cast<QDialog*>(secondDialog)->accept();
    QCOMPARE(b.calls, 1);
    QCOMPARE(a.calls, 0);
    firstDialog->reject();
    QCOMPARE(a.calls, 1);
    QCOMPARE(a.response, FolderPanelResponse::cancel);
    QCOMPARE(b.response, FolderPanelResponse::ok);
    QVERIFY(b.url);
    QCOMPARE(QDir(b.url->toLocalFile()).canonicalPath(), QDir(second.path()).canonicalPath());
}

void TestFolderAccess::panelClosedWithItsParent()
{
    auto window = std::make_unique<QWidget>();
    window->show();
    DialogFolderPanel panel(window.get());
    Answer answer;
    panel.begin(FolderPanelOptions {}, recordInto(answer));
    QCOMPARE(openDialogs().size(), 1);
    window.reset();
    QCOMPARE(answer.calls, 1);
    QCOMPARE(answer.response, FolderPanelResponse::cancel);
    // A panel whose parent is gone makes dialogs without one.
    panel.begin(FolderPanelOptions {}, recordInto(answer));
    QCOMPARE(openDialogs().size(), 1);
    openDialogs().constFirst()->reject();
    QCOMPARE(answer.calls, 2);
}

QTEST_MAIN(TestFolderAccess)
#include "tst_folderaccess.moc"
