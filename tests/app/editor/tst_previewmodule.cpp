#include "FakeStorage.h"
#include "app/editor/PreviewHost.h"
#include "app/editor/PreviewModule.h"
#include "app/editor/SignatureEditorDetailView.h"

#include "FakeRunningApplications.h"
#include "TestSupport.h"

#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

using namespace veltrin;

// Without its preview module the application still runs: the preview area says why, and
// the code view works. This executable never loads the web engine.
class TestPreviewModule final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void unavailableModule_data();
    void unavailableModule();
};

void TestPreviewModule::unavailableModule_data()
{
    QTest::addColumn<QByteArray>("moduleBytes");
    QTest::addColumn<QString>("reason");
    QTest::addRow("missing") << QByteArray() << u"was not found"_qs;
    QTest::addRow("not a library") << QByteArray("not a shared library") << PreviewModule::fileName();
}

void TestPreviewModule::unavailableModule()
{
    QFETCH(QByteArray, moduleBytes);
    QFETCH(QString, reason);

    QTemporaryDir modules;
    if (!moduleBytes.isEmpty())
        QVERIFY(veltrin::test::writeFile(modules.filePath(PreviewModule::fileName()), moduleBytes));
    PreviewModule::setSearchPaths({ modules.path() });

    QTemporaryDir folder;
    const QString path = folder.filePath(u"work.mailsignature"_qs);
    QVERIFY(veltrin::test::writeFile(
        path, veltrin::test::readFixture(u"signatures/single-part.mailsignature"_qs)));
    SignatureFile signature;
    signature.id = QUuid::createUuid();
    signature.fileName = QFileInfo(path).fileName();
    signature.displayName = u"Work"_qs;
    signature.filePath = QUrl::fromLocalFile(path);
    signature.parentFolderURL = QUrl::fromLocalFile(folder.path());

    veltrin::test::FakeRunningApplications running;
    veltrin::test::FakeStorage store;
    SignatureEditorDetailView view(running, store.storage);
    view.setSignature(signature);
    view.resize(900, 600);
    view.show();
    QTRY_VERIFY(!view.state().isLoading);

    auto* host = view.findChild<PreviewHost*>();
    QVERIFY(host);
    QVERIFY(!host->preview());
    QCOMPARE(host->htmlContent(), view.state().htmlDraft);
    const QString line = host->unavailableText();
    QVERIFY2(line.startsWith(u"Preview unavailable: ") && line.contains(reason), qPrintable(line));
    QVERIFY(!line.contains(u'\n'));
    QVERIFY(host->findChild<QWidget*>(u"previewUnavailable"_qs)->isVisibleTo(&view));

    view.findChild<QPushButton*>(u"codeSegment"_qs)->click();
    auto* code = view.findChild<QPlainTextEdit*>(u"codeEditor"_qs);
    QCOMPARE(view.findChild<QStackedWidget*>(u"content"_qs)->currentWidget()->objectName(), u"codePage"_qs);
    QCOMPARE(code->toPlainText(), view.state().htmlDraft);
    const QString loaded = view.state().htmlDraft;
    code->setFocus();
    code->moveCursor(QTextCursor::End);
    QTest::keyClicks(code, u"<b>x</b>"_qs);
    QCOMPARE(view.state().htmlDraft, loaded + u"<b>x</b>");
    QVERIFY(view.findChild<QPushButton*>(u"saveButton"_qs)->isEnabled());
    // Back in the preview mode, the line still stands in for the preview.
    view.findChild<QPushButton*>(u"previewSegment"_qs)->click();
    QCOMPARE(host->htmlContent(), loaded + u"<b>x</b>");
    QCOMPARE(host->unavailableText(), line);
}

QTEST_MAIN(TestPreviewModule)

#include "tst_previewmodule.moc"
