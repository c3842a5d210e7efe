#include "app/editor/PreviewHost.h"
#include "app/editor/SignatureEditorDetailView.h"
#include "app/sidebar/SignatureRow.h"
#include "app/sidebar/SplitEditorView.h"

#include "FakeRunningApplications.h"
#include "TestSupport.h"
#include "PreviewModuleTestMain.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSplitter>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QToolButton>

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

// The same files as a rescan finds them: new ids.
QList<SignatureFile> rescanned(QList<SignatureFile> signatures)
{
    for (SignatureFile& signature : signatures)
        signature.id = QUuid::createUuid();
    return signatures;
}

struct Split {
    FakeRunningApplications running;
    SplitEditorView view{running};
    int rescans = 0;
    QSignalSpy picked{&view, &SplitEditorView::selectedSignatureChanged};

    Split()
    {
        view.setOnRescan([this] { ++rescans; });
        view.resize(1000, 650);
        view.show();
    }

    QListWidget* list() const { return view.findChild<QListWidget*>(u"signatureList"_qs); }
    QString detailShown() const { return view.findChild<QStackedWidget*>(u"detail"_qs)->currentWidget()->objectName(); }
    SignatureEditorDetailView* editor() const { return view.findChild<SignatureEditorDetailView*>(); }
    bool placeholderShown(const char* name) const
    {
        return view.findChild<QWidget*>(QString::fromLatin1(name))->isVisibleTo(&view);
    }
    int selectedRow() const
    {
        const QList<QListWidgetItem*> items = list()->selectedItems();
        return items.isEmpty() ? -1 : list()->row(items.first());
    }
    void clickRow(int row) const
    {
        const QRect rect = list()->visualItemRect(list()->item(row));
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
    void saveRunsOnSavedWithoutReload();
    void sidebarNeverNarrowerThanMinimum();
    void screenshot();
};

void TestSplitEditorView::emptyListAndNoSelection()
{
    Split split;
    split.view.setSignatures({});
    QVERIFY(split.placeholderShown("noSignatures"));
    QVERIFY(!split.list()->isVisibleTo(&split.view));
    QCOMPARE(split.view.findChild<QWidget*>(u"noSignatures"_qs)->findChild<QLabel*>(u"placeholderText"_qs)->text(),
             u"No signatures"_qs);
    QCOMPARE(split.detailShown(), u"noSelection"_qs);
    QCOMPARE(split.view.findChild<QWidget*>(u"noSelection"_qs)->findChild<QLabel*>(u"placeholderText"_qs)->text(),
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
    const QList<SignatureFile> signatures{scanned(folder, u"signatures/single-part.mailsignature"_qs, u"Personal"_qs),
                                          scanned(folder, u"signatures/crlf.mailsignature"_qs, u"Work"_qs)};
    Split split;
    split.view.setSignatures(signatures);
    QCOMPARE(split.list()->count(), 2);
    QCOMPARE(static_cast<SignatureRow*>(split.list()->itemWidget(split.list()->item(1)))->signature(), signatures[1]);
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
    QCOMPARE(editor->state().htmlDraft, QString::fromUtf8(veltrin::test::readFixture(u"signatures/single-part.html"_qs)));

    // The same editor takes the next signature, back in the Preview mode, theme kept.
    editor->chooseTheme(PreviewTheme::dark);
    editor->setViewMode(ViewMode::code);
    split.clickRow(1);
    QCOMPARE(split.picked.size(), 2);
    QCOMPARE(split.editor(), editor);
    QCOMPARE(editor->signature(), signatures[1]);
    QCOMPARE(editor->state().htmlDraft, QString::fromUtf8(veltrin::test::readFixture(u"signatures/crlf.html"_qs)));
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
    const QList<SignatureFile> signatures{scanned(folder, u"signatures/single-part.mailsignature"_qs, u"Personal"_qs),
                                          scanned(folder, u"signatures/crlf.mailsignature"_qs, u"Work"_qs)};
    Split split;
    split.view.setSignatures(signatures);
    split.view.setSelectedSignature(signatures[1]);
    QCOMPARE(split.picked.size(), 0);
    QCOMPARE(split.selectedRow(), 1);
    SignatureEditorDetailView* editor = split.editor();
    QVERIFY(editor);

    split.view.setSignatures(emptyList ? QList<SignatureFile>() : rescan ? rescanned(signatures) : signatures);
    QCOMPARE(split.selectedRow(), selectedRow);
    QCOMPARE(split.picked.size(), 0);
    QCOMPARE(split.editor(), editor);
    QCOMPARE(editor->signature().id, signatures[1].id);
    QCOMPARE(split.detailShown(), editor->objectName());
}

void TestSplitEditorView::newEditorAfterNoSelection()
{
    QTemporaryDir folder;
    const QList<SignatureFile> signatures{scanned(folder, u"signatures/single-part.mailsignature"_qs, u"Personal"_qs)};
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

void TestSplitEditorView::saveRunsOnSavedWithoutReload()
{
    QTemporaryDir folder;
    QList<SignatureFile> signatures{scanned(folder, u"signatures/single-part.mailsignature"_qs, u"Personal"_qs)};
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
    splitter->setSizes({50, 950});
    QVERIFY(sidebar->width() >= 280);
    split.view.resize(400, 600);
    QTRY_VERIFY(sidebar->width() >= 280);
}

void TestSplitEditorView::screenshot()
{
    QTemporaryDir folder;
    QList<SignatureFile> signatures{scanned(folder, u"editor/with-images.mailsignature"_qs, u"Work"_qs),
                                    scanned(folder, u"signatures/single-part.mailsignature"_qs, u"Personal"_qs),
                                    scanned(folder, u"signatures/crlf.mailsignature"_qs, u"Old"_qs)};
    signatures[0].accountEmails = QStringList{u"zoe@veltrin.example"_qs, u"zoe.a@veltrin.example"_qs};
    signatures[2].errorMessage = u"The file could not be read completely."_qs;
    const QPalette light = QApplication::palette();
    const QPalette dark = veltrin::test::darkPalette();
    for (const bool isDark : {false, true}) {
        QApplication::setPalette(isDark ? dark : light);
        QCoreApplication::processEvents();
        Split split;
        split.view.setSignatures(signatures);
        split.clickRow(0);
        auto* preview = split.view.findChild<PreviewHost*>();
        QSignalSpy finished(preview, &PreviewHost::loadFinished);
        QVERIFY(finished.wait(20000));
        QTest::qWait(300);
        QVERIFY(split.view.grab().save(veltrin::test::screenshotDir().filePath(isDark ? u"veltrin-split-dark.png"_qs : u"veltrin-split-light.png"_qs)));
    }
    QApplication::setPalette(light);
}

VELTRIN_PREVIEW_MODULE_TEST_MAIN(TestSplitEditorView)

#include "tst_spliteditorview.moc"
