#include "FakeStorage.h"
#include "app/editor/PreviewHost.h"
#include "app/editor/SignatureEditorDetailView.h"
#include "app/sidebar/SignatureListModel.h"
#include "app/sidebar/SignatureRowDelegate.h"
#include "app/sidebar/SplitEditorView.h"

#include "FakeRunningApplications.h"
#include "LookChecks.h"
#include "PreviewModuleTestMain.h"
#include "TestSupport.h"

#include <QAccessible>
#include <QDir>
#include <QHelpEvent>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QToolTip>

using namespace veltrin;
using veltrin::test::FakeRunningApplications;

Q_DECLARE_METATYPE(std::optional<veltrin::SignatureFile>)

namespace {

SignatureFile scanned(const QTemporaryDir& folder, const QString& fixture, const QString& name)
{
    const QString path = folder.filePath(name + u".mailsignature");
    if (!QFile::exists(path))
        veltrin::test::writeFile(path, veltrin::test::readFixture(fixture));
    SignatureFile signature;
    signature.id = QUuid::createUuid();
    signature.fileName = name + u".mailsignature";
    signature.displayName = name;
    signature.filePath = QUrl::fromLocalFile(path);
    signature.parentFolderURL = QUrl::fromLocalFile(folder.path());
    return signature;
}

// Signatures on disk with no content, for the sidebar alone.
QList<SignatureFile> named(const QTemporaryDir& folder, const QStringList& names)
{
    QList<SignatureFile> signatures;
    for (const QString& name : names) {
        SignatureFile signature;
        signature.id = QUuid::createUuid();
        signature.fileName = name + u".mailsignature";
        signature.displayName = name;
        signature.filePath = QUrl::fromLocalFile(folder.filePath(signature.fileName));
        signature.parentFolderURL = QUrl::fromLocalFile(folder.path());
        signatures << signature;
    }
    return signatures;
}

QStringList numbered(int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << u"Signature %1"_qs.arg(i, 2, 10, QLatin1Char('0'));
    return names;
}

// The same files as a rescan finds them: new ids.
QList<SignatureFile> rescanned(QList<SignatureFile> signatures)
{
    for (SignatureFile& signature : signatures)
        signature.id = QUuid::createUuid();
    return signatures;
}

struct Split {
    FakeRunningApplications running;
    veltrin::test::FakeStorage store;
    SplitEditorView view { running, store.storage };
    int rescans = 0;
    QSignalSpy picked { &view, &SplitEditorView::selectedSignatureChanged };

    Split()
    {
        view.setOnRescan([this] { ++rescans; });
        view.resize(1000, 650);
        view.show();
    }

    QListView* list() const { return view.findChild<QListView*>(u"signatureList"_qs); }
    SignatureListModel* model() const { return static_cast<SignatureListModel*>(list()->model()); }
    QString detailShown() const
    {
        return view.findChild<QStackedWidget*>(u"detail"_qs)->currentWidget()->objectName();
    }
    SignatureEditorDetailView* editor() const { return view.findChild<SignatureEditorDetailView*>(); }
    bool placeholderShown(const char* name) const
    {
        return view.findChild<QWidget*>(QString::fromLatin1(name))->isVisibleTo(&view);
    }
    int selectedRow() const
    {
        const QModelIndexList rows = list()->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
    }
    void clickRow(int row) const
    {
        const QRect rect = list()->visualRect(model()->index(row));
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, rect.center());
    }
};

} // namespace

class TestSplitEditorView final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void emptyListAndNoSelection();
    void pickingRowsKeepsOneEditor();
    void selectionIsMatchedById_data();
    void selectionIsMatchedById();
    void newEditorAfterNoSelection();
    void firstEditorIsPreparedOutOfSight();
    void nothingPreparedWithoutNeed_data();
    void nothingPreparedWithoutNeed();
    void saveRunsOnSavedWithoutReload();
    void sidebarNeverNarrowerThanMinimum();
    void scrollPositionSurvivesRescan_data();
    void scrollPositionSurvivesRescan();
    void longNameShortenedWithTooltip_data();
    void longNameShortenedWithTooltip();
    void errorShortenedToTwoLines();
    void rowsAndButtonsHaveAccessibleText();
    void downFromNoSelectionPicksFirstRow();
    void screenshot();
};

void TestSplitEditorView::emptyListAndNoSelection()
{
    Split split;
    split.view.setSignatures({});
    QVERIFY(split.placeholderShown("noSignatures"));
    QVERIFY(!split.list()->isVisibleTo(&split.view));
    QCOMPARE(
        split.view.findChild<QWidget*>(u"noSignatures"_qs)->findChild<QLabel*>(u"placeholderText"_qs)->text(),
        u"No signatures"_qs);
    QCOMPARE(split.detailShown(), u"noSelection"_qs);
    QCOMPARE(
        split.view.findChild<QWidget*>(u"noSelection"_qs)->findChild<QLabel*>(u"placeholderText"_qs)->text(),
        u"Select a signature"_qs);
    QVERIFY(!split.editor());

    auto* reload = split.view.findChild<QToolButton*>(u"reloadButton"_qs);
    QCOMPARE(reload->toolTip(), u"Reload signatures"_qs);
    QVERIFY(reload->isEnabled());
    QTest::mouseClick(reload, Qt::LeftButton);
    QCOMPARE(split.rescans, 1);
}

void TestSplitEditorView::pickingRowsKeepsOneEditor()
{
    QTemporaryDir folder;
    const QList<SignatureFile> signatures { scanned(folder, u"signatures/single-part.mailsignature"_qs,
                                                u"Personal"_qs),
        scanned(folder, u"signatures/crlf.mailsignature"_qs, u"Work"_qs) };
    Split split;
    split.view.setSignatures(signatures);
    QCOMPARE(split.model()->rowCount(), 2);
    QCOMPARE(split.model()->signature(1), std::optional(signatures[1]));
    QCOMPARE(split.detailShown(), u"noSelection"_qs);

    split.clickRow(0);
    QCOMPARE(split.picked.size(), 1);
    QCOMPARE(split.picked.last().at(0).value<std::optional<SignatureFile>>(), std::optional(signatures[0]));
    QCOMPARE(split.view.selectedSignature(), std::optional(signatures[0]));
    SignatureEditorDetailView* editor = split.editor();
    QVERIFY(editor);
    QCOMPARE(split.detailShown(), editor->objectName());
    QCOMPARE(editor->signature(), signatures[0]);
    QVERIFY(!editor->state().isLoading);
    QCOMPARE(editor->state().htmlDraft,
        QString::fromUtf8(veltrin::test::readFixture(u"signatures/single-part.html"_qs)));

    // The same editor takes the next signature, back in the Preview mode, theme kept.
    editor->chooseTheme(PreviewTheme::dark);
    editor->setViewMode(ViewMode::code);
    split.clickRow(1);
    QCOMPARE(split.picked.size(), 2);
    QCOMPARE(split.editor(), editor);
    QCOMPARE(editor->signature(), signatures[1]);
    QCOMPARE(
        editor->state().htmlDraft, QString::fromUtf8(veltrin::test::readFixture(u"signatures/crlf.html"_qs)));
    QCOMPARE(editor->state().viewMode, ViewMode::view);
    QCOMPARE(editor->state().previewTheme, PreviewTheme::dark);

    // The owner handing the picked value back changes nothing and announces nothing.
    split.view.setSelectedSignature(signatures[1]);
    QCOMPARE(split.picked.size(), 2);
    QCOMPARE(split.editor(), editor);
}

void TestSplitEditorView::selectionIsMatchedById_data()
{
    QTest::addColumn<bool>("rescan");
    QTest::addColumn<bool>("emptyList");
    QTest::addColumn<int>("selectedRow");
    QTest::addRow("same values") << false << false << 1;
    QTest::addRow("after a rescan") << true << false << -1;
    QTest::addRow("after a rescan found nothing") << true << true << -1;
}

// A selection kept from an earlier scan matches no row, and the editor stays on it.
void TestSplitEditorView::selectionIsMatchedById()
{
    QFETCH(bool, rescan);
    QFETCH(bool, emptyList);
    QFETCH(int, selectedRow);
    QTemporaryDir folder;
    const QList<SignatureFile> signatures { scanned(folder, u"signatures/single-part.mailsignature"_qs,
                                                u"Personal"_qs),
        scanned(folder, u"signatures/crlf.mailsignature"_qs, u"Work"_qs) };
    Split split;
    split.view.setSignatures(signatures);
    split.view.setSelectedSignature(signatures[1]);
    QCOMPARE(split.picked.size(), 0);
    QCOMPARE(split.selectedRow(), 1);
    SignatureEditorDetailView* editor = split.editor();
    QVERIFY(editor);

    split.view.setSignatures(emptyList ? QList<SignatureFile>()
            : rescan                   ? rescanned(signatures)
                                       : signatures);
    QCOMPARE(split.selectedRow(), selectedRow);
    QCOMPARE(split.picked.size(), 0);
    QCOMPARE(split.editor(), editor);
    QCOMPARE(editor->signature().id, signatures[1].id);
    QCOMPARE(split.detailShown(), editor->objectName());
}

void TestSplitEditorView::newEditorAfterNoSelection()
{
    QTemporaryDir folder;
    const QList<SignatureFile> signatures { scanned(
        folder, u"signatures/single-part.mailsignature"_qs, u"Personal"_qs) };
    Split split;
    split.view.setSignatures(signatures);
    split.view.setSelectedSignature(signatures[0]);
    QPointer<SignatureEditorDetailView> first = split.editor();
    first->chooseTheme(PreviewTheme::light);

    split.view.setSelectedSignature(std::nullopt);
    QCOMPARE(split.detailShown(), u"noSelection"_qs);
    QCOMPARE(split.selectedRow(), -1);
    QTRY_VERIFY(!first);

    split.view.setSelectedSignature(signatures[0]);
    SignatureEditorDetailView* second = split.editor();
    QVERIFY(second);
    QCOMPARE(second->state().previewTheme, PreviewTheme::system); // a new editor starts afresh
    QVERIFY(!second->state().isLoading);
}

// The first editor is made while the user looks at the list, under the placeholder, so that the
// first pick only raises it: it reads no file before then, a screen reader does not meet it, and
// the pick reads the file once and never hides its preview on the way.
void TestSplitEditorView::firstEditorIsPreparedOutOfSight()
{
    QTemporaryDir folder;
    const QList<SignatureFile> signatures { scanned(
        folder, u"signatures/single-part.mailsignature"_qs, u"Personal"_qs) };
    Split split;
    int reads = 0;
    split.store.files.onCall([&](const QString& operation, const QUrl&) { reads += operation == u"read"_qs; });
    split.view.setSignatures(signatures);
    QVERIFY(QTest::qWaitForWindowExposed(&split.view));

    QTRY_VERIFY(split.editor());
    QPointer<SignatureEditorDetailView> prepared = split.editor();
    auto* detail = split.view.findChild<QStackedWidget*>(u"detail"_qs);
    auto* placeholder = split.view.findChild<QWidget*>(u"noSelection"_qs);
    QCOMPARE(split.detailShown(), u"noSelection"_qs);
    QVERIFY(!prepared->isEnabled()); // neither focus nor clicks reach it
    QVERIFY(placeholder->autoFillBackground());
    QVERIFY(detail->children().indexOf(prepared) < detail->children().indexOf(placeholder)); // beneath
    QVERIFY(prepared->isVisible());
    QAccessibleInterface* stack = QAccessible::queryAccessibleInterface(detail);
    for (int i = 0; i < stack->childCount(); ++i)
        QVERIFY(stack->child(i)->object() != prepared);
    auto* host = prepared->findChild<PreviewHost*>();
    QVERIFY(host->preview());
    QSignalSpy loaded(host, &PreviewHost::loadFinished);
    QVERIFY(loaded.wait(20000));
    QCOMPARE(reads, 0);
    // The desktop turning dark keeps the prepared page, now dark, rather than a loading page.
    const QPalette light = QApplication::palette();
    QApplication::setPalette(veltrin::test::darkPalette());
    QTRY_COMPARE(host->colorScheme(), ColorScheme::dark);
    QVERIFY(host->isVisibleTo(prepared));
    QApplication::setPalette(light);
    QTRY_COMPARE(host->colorScheme(), ColorScheme::light);
    // A resized window takes it along, so that its page need not be laid out anew at the pick.
    split.view.resize(1100, 700);
    QTRY_COMPARE(prepared->size(), detail->size());

    struct HideCounter final : QObject {
        int hides = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            hides += event->type() == QEvent::Hide;
            return false;
        }
    } hideCounter;
    host->installEventFilter(&hideCounter);
    split.clickRow(0);
    QCOMPARE(hideCounter.hides, 0);
    QCOMPARE(split.editor(), prepared.data());
    QCOMPARE(split.view.findChildren<SignatureEditorDetailView*>().size(), 1);
    QVERIFY(prepared->isEnabled());
    QCOMPARE(split.detailShown(), prepared->objectName());
    QCOMPARE(reads, 1);
    const QString html = QString::fromUtf8(veltrin::test::readFixture(u"signatures/single-part.html"_qs));
    QCOMPARE(prepared->state().htmlDraft, html);
    QCOMPARE(host->htmlContent(), html);
    QVERIFY(loaded.wait(20000));
    QCOMPARE(loaded.last().at(0).toBool(), true);
}

void TestSplitEditorView::nothingPreparedWithoutNeed_data()
{
    QTest::addColumn<bool>("withSignatures");
    QTest::addColumn<bool>("selected");
    QTest::newRow("an empty list") << false << false;
    QTest::newRow("a selection kept from before") << true << true;
}

void TestSplitEditorView::nothingPreparedWithoutNeed()
{
    QFETCH(bool, withSignatures);
    QFETCH(bool, selected);
    QTemporaryDir folder;
    const QList<SignatureFile> signatures = withSignatures
        ? QList<SignatureFile> { scanned(folder, u"signatures/single-part.mailsignature"_qs, u"Personal"_qs) }
        : QList<SignatureFile> {};
    Split split;
    split.view.setSignatures(signatures);
    if (selected)
        split.view.setSelectedSignature(signatures[0]);
    QVERIFY(QTest::qWaitForWindowExposed(&split.view));
    QTest::qWait(200);
    QCOMPARE(split.view.findChildren<SignatureEditorDetailView*>().size(), selected ? 1 : 0);
}

void TestSplitEditorView::saveRunsOnSavedWithoutReload()
{
    QTemporaryDir folder;
    QList<SignatureFile> signatures { scanned(
        folder, u"signatures/single-part.mailsignature"_qs, u"Personal"_qs) };
    Split split;
    int saves = 0;
    // The owner's reload: a rescan hands over new values, the selection stays as it was.
    split.view.setOnSaved([&] {
        ++saves;
        split.view.setSignatures(rescanned(signatures));
    });
    split.view.setSignatures(signatures);
    split.view.setSelectedSignature(signatures[0]);
    SignatureEditorDetailView* editor = split.editor();
    editor->setViewMode(ViewMode::code);
    auto* code = editor->findChild<QPlainTextEdit*>(u"codeEditor"_qs);
    QTest::keyClicks(code, u"<p>x</p>"_qs);
    const QString draft = editor->state().htmlDraft;
    editor->saveTapped();
    QCOMPARE(saves, 1);
    QCOMPARE(split.editor(), editor);
    QCOMPARE(editor->state().htmlDraft, draft);
    QCOMPARE(editor->state().viewMode, ViewMode::code);
    QVERIFY(!SignatureEditorDetailView::hasUnsavedChanges(editor->state()));
    QCOMPARE(split.selectedRow(), -1);
}

void TestSplitEditorView::sidebarNeverNarrowerThanMinimum()
{
    Split split;
    auto* splitter = split.view.findChild<QSplitter*>();
    QWidget* sidebar = split.view.findChild<QWidget*>(u"sidebar"_qs);
    QVERIFY(sidebar->width() >= 280);
    splitter->setSizes({ 50, 950 });
    QVERIFY(sidebar->width() >= 280);
    split.view.resize(400, 600);
    QTRY_VERIFY(sidebar->width() >= 280);
}

void TestSplitEditorView::scrollPositionSurvivesRescan_data()
{
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<int>("removedFromEnd");
    QTest::addRow("same files") << QStringList() << 0;
    QTest::addRow("a file added") << QStringList { u"Zz new"_qs } << 0;
    QTest::addRow("a file removed") << QStringList() << 1;
}

// A rescan after a save must not throw the list back to its top.
void TestSplitEditorView::scrollPositionSurvivesRescan()
{
    QFETCH(QStringList, added);
    QFETCH(int, removedFromEnd);
    QTemporaryDir folder;
    const QList<SignatureFile> signatures = named(folder, numbered(40));
    Split split;
    split.view.setSignatures(signatures);
    split.view.setSelectedSignature(signatures[20]);
    QScrollBar* scroll = split.list()->verticalScrollBar();
    QTRY_VERIFY(scroll->maximum() > 0);
    scroll->setValue(scroll->maximum() / 2);
    const int position = scroll->value();
    QVERIFY(position > 0);
    const QString topRow = split.list()->indexAt(QPoint(10, 10)).data().toString();

    QList<SignatureFile> next = rescanned(signatures);
    next.resize(next.size() - removedFromEnd);
    next << named(folder, added);
    split.view.setSignatures(next);
    QCoreApplication::processEvents();
    QCOMPARE(scroll->value(), position);
    QCOMPARE(split.list()->indexAt(QPoint(10, 10)).data().toString(), topRow);
    QCOMPARE(split.selectedRow(), -1);
    QCOMPARE(split.picked.size(), 0);
}

// Long names and addresses end in "…" at the sidebar's narrowest, show whole in the tooltip, and
// never widen the window.
void TestSplitEditorView::longNameShortenedWithTooltip_data()
{
    QTest::addColumn<QString>("longName");
    const QString words = QString(u"Quarterly newsletter signature "_qs).repeated(5).trimmed();
    QTest::addRow("words") << words;
    // Names are shown as stored, in the tooltip as in the row: never read as markup.
    QTest::addRow("tags") << u"Sales <b>team</b> "_qs + words;
    QTest::addRow("entity and line break tag") << u"R&amp;D<br>"_qs + words;
}

void TestSplitEditorView::longNameShortenedWithTooltip()
{
    QFETCH(QString, longName);
    QTemporaryDir folder;
    QList<SignatureFile> shortNames = named(folder, { u"Work"_qs });
    Split split;
    split.view.setSignatures(shortNames);
    const QSize minimum = split.view.minimumSizeHint();

    const QString longAddress = u"someone.with.a.remarkably.long.name@subdomain.of.a.long.example.org"_qs;
    QList<SignatureFile> longNames = named(folder, { longName });
    longNames[0].accountEmails = QStringList { longAddress };
    split.view.setSignatures(longNames);
    QCOMPARE(split.view.minimumSizeHint(), minimum);
    split.view.findChild<QSplitter*>()->setSizes({ 0, 2000 });
    QWidget* sidebar = split.view.findChild<QWidget*>(u"sidebar"_qs);
    QTRY_COMPARE(sidebar->width(), 280);

    const QModelIndex row = split.model()->index(0);
    QStyleOptionViewItem option;
    option.initFrom(split.list());
    option.rect = split.list()->visualRect(row);
    QVERIFY(option.rect.right() < split.list()->viewport()->width());
    const SignatureRow::Layout layout = SignatureRowDelegate::layout(option, row);
    QVERIFY(layout.shortened);
    QVERIFY(layout.texts.at(0).text.endsWith(u'…'));
    QVERIFY(layout.texts.at(1).text.endsWith(u'…'));
    for (const SignatureRow::Text& text : layout.texts)
        QVERIFY(text.rect.right() < option.rect.width());

    QCOMPARE(
        test::hoverToolTip(*split.list()->viewport(), option.rect.center()), longName + u'\n' + longAddress);
    QToolTip::hideText();

    // A row that fits shows no tooltip.
    split.view.setSignatures(shortNames);
    QTRY_VERIFY(!QToolTip::isVisible());
    const QRect fits = split.list()->visualRect(split.model()->index(0));
    QHelpEvent quiet(QEvent::ToolTip, fits.center(), split.list()->viewport()->mapToGlobal(fits.center()));
    QCoreApplication::sendEvent(split.list()->viewport(), &quiet);
    QVERIFY(!QToolTip::isVisible());
}

// Rows of red lines in a painted row: the error text and its symbol.
namespace {
int redLineCount(const QImage& image)
{
    int lines = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 160 && c.green() < 140 && c.blue() < 140) {
                ++lines;
                break;
            }
        }
    }
    return lines;
}
} // namespace

// However long the message, the row shows two lines of it, the second ending in "…".
void TestSplitEditorView::errorShortenedToTwoLines()
{
    QTemporaryDir folder;
    QList<SignatureFile> signatures = named(folder, { u"Short"_qs, u"Long"_qs });
    signatures[0].errorMessage = u"Unreadable."_qs;
    signatures[1].errorMessage
        = QString(u"The file could not be read completely and was left as it is. "_qs).repeated(8);
    Split split;
    split.view.setSignatures(signatures);
    split.view.findChild<QSplitter*>()->setSizes({ 0, 2000 });
    QTRY_COMPARE(split.view.findChild<QWidget*>(u"sidebar"_qs)->width(), 280);
    QCoreApplication::processEvents();

    QList<QImage> painted;
    QList<int> heights;
    for (int row = 0; row < 2; ++row) {
        const QModelIndex index = split.model()->index(row);
        QStyleOptionViewItem option;
        option.initFrom(split.list());
        option.rect = split.list()->visualRect(index);
        const SignatureRow::Layout layout = SignatureRowDelegate::layout(option, index);
        QStringList lines;
        for (const SignatureRow::Text& text : layout.texts)
            if (text.part == SignatureRow::Part::errorMessage)
                lines << text.text;
        QCOMPARE(lines.size(), row == 0 ? 1 : 2);
        if (row == 1)
            QVERIFY(lines.last().endsWith(u'…'));
        // The list gives the row the height of what the delegate lays out.
        QCOMPARE(split.list()->itemDelegate()->sizeHint(option, index).height(), layout.height);
        QCOMPARE(option.rect.height(), layout.height);
        heights << layout.height;

        QImage image(option.rect.size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        option.rect.moveTopLeft({ 0, 0 });
        split.list()->itemDelegate()->paint(&painter, option, index);
        painter.end();
        painted << image;
    }
    // The second line adds one line of caption text to the row and to the red painted.
    const int lineSpacing = QFontMetrics(Style::font(Style::TextStyle::caption2)).lineSpacing();
    QCOMPARE(heights[1] - heights[0], lineSpacing);
    QVERIFY(redLineCount(painted[1]) > redLineCount(painted[0]));
    QVERIFY(redLineCount(painted[1]) <= 2 * lineSpacing);
}

void TestSplitEditorView::rowsAndButtonsHaveAccessibleText()
{
    QTemporaryDir folder;
    QList<SignatureFile> signatures = named(folder, { u"Personal"_qs, u"Work"_qs });
    signatures[1].accountEmails = QStringList { u"zoe@veltrin.example"_qs };
    signatures[1].errorMessage = u"Unreadable."_qs;
    Split split;
    split.view.setSignatures(signatures);

    auto* reload = split.view.findChild<QToolButton*>(u"reloadButton"_qs);
    QAccessibleInterface* button = QAccessible::queryAccessibleInterface(reload);
    QCOMPARE(button->text(QAccessible::Name), u"Reload"_qs);
    QCOMPARE(button->text(QAccessible::Description), u"Reload signatures"_qs);

    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(split.list());
    QCOMPARE(list->text(QAccessible::Name), u"Signatures"_qs);
    QCOMPARE(list->role(), QAccessible::List);
    QCOMPARE(list->childCount(), 2);
    QAccessibleInterface* work = list->child(1);
    QCOMPARE(work->role(), QAccessible::ListItem);
    const QString age = split.model()->index(1).data(SignatureListModel::LastModifiedRole).toString();
    QCOMPARE(work->text(QAccessible::Name), u"Work, zoe@veltrin.example, "_qs + age + u", Unknown size");
    QCOMPARE(work->text(QAccessible::Description), u"Unreadable."_qs);
    QVERIFY(list->child(0)->text(QAccessible::Name).startsWith(u"Personal, No account associated, "));
}

// Tab into the list marks where the keyboard is without selecting; Down then picks the first row.
void TestSplitEditorView::downFromNoSelectionPicksFirstRow()
{
    QTemporaryDir folder;
    const QList<SignatureFile> signatures = named(folder, { u"Personal"_qs, u"Work"_qs, u"Zoe"_qs });
    Split split;
    split.view.setSignatures(signatures);
    split.view.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&split.view));
    QListView* list = split.list();
    list->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(list->hasFocus());
    QCOMPARE(split.selectedRow(), -1);

    // The first row is not painted as selected: its right end shows the list's base colour.
    const QRect first = list->visualRect(split.model()->index(0));
    const QPoint probe(first.right() - 12, first.center().y());
    const QColor base = list->palette().color(QPalette::Base);
    QCOMPARE(list->viewport()->grab().toImage().pixelColor(probe), base);

    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(split.selectedRow(), 0);
    QCOMPARE(split.picked.size(), 1);
    QCOMPARE(split.view.selectedSignature(), std::optional(signatures[0]));
    QVERIFY(list->viewport()->grab().toImage().pixelColor(probe) != base);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(split.selectedRow(), 1);
    QCOMPARE(split.view.selectedSignature(), std::optional(signatures[1]));

    // After a rescan the kept value matches no row; Down starts again at the first.
    split.view.setSignatures(rescanned(signatures));
    QCOMPARE(split.selectedRow(), -1);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(split.selectedRow(), 0);
    QCOMPARE(split.picked.size(), 3);
}

void TestSplitEditorView::screenshot()
{
    QTemporaryDir folder;
    QList<SignatureFile> signatures { scanned(folder, u"editor/with-images.mailsignature"_qs, u"Work"_qs),
        scanned(folder, u"signatures/single-part.mailsignature"_qs, u"Personal"_qs),
        scanned(folder, u"signatures/crlf.mailsignature"_qs, u"Old"_qs) };
    signatures[0].accountEmails = QStringList { u"zoe@veltrin.example"_qs,
        u"zoe.laurent-mueller.assistant@atelier.veltrin.example"_qs };
    signatures[1].displayName = u"Personal, with a name far too long for the sidebar"_qs;
    signatures[2].errorMessage
        = u"The file could not be read completely: it ends inside a MIME part whose boundary never closes."_qs;
    const QPalette light = QApplication::palette();
    const QPalette dark = veltrin::test::darkPalette();
    for (const bool isDark : { false, true }) {
        QApplication::setPalette(isDark ? dark : light);
        QCoreApplication::processEvents();
        Split split;
        split.view.setSignatures(signatures);
        split.clickRow(0);
        auto* preview = split.view.findChild<PreviewHost*>();
        QSignalSpy finished(preview, &PreviewHost::loadFinished);
        QVERIFY(finished.wait(20000));
        QTest::qWait(300);
        const QString sidebarShot = isDark ? u"veltrin-sidebar-dark.png"_qs : u"veltrin-sidebar-light.png"_qs;
        QVERIFY(split.view.findChild<QWidget*>(u"sidebar"_qs)
                    ->grab()
                    .save(veltrin::test::screenshotDir().filePath(sidebarShot)));
        QVERIFY(split.view.grab().save(veltrin::test::screenshotDir().filePath(
            isDark ? u"veltrin-split-dark.png"_qs : u"veltrin-split-light.png"_qs)));
    }
    QApplication::setPalette(light);
}

VELTRIN_PREVIEW_MODULE_TEST_MAIN(TestSplitEditorView)

#include "tst_spliteditorview.moc"
