#include "FileLocks.h"
#include "SampleApplication.h"
#include "app/editor/SaveToastView.h"
#include "app/editor/SignatureEditorDetailView.h"
#include "app/sidebar/SplitEditorView.h"
#include "app/window/ContentView.h"
#include "app/window/VeltrinApp.h"

#include <QAbstractButton>
#include <QFile>
#include <QListView>
#include <QMainWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace veltrin;

// The whole road a new user takes, in one window, offscreen.
class TestEndToEnd final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstLaunchToTheList();
};

void TestEndToEnd::firstLaunchToTheList()
{
    test::SampleApplication sample;
    VeltrinApp& app = sample.app();
    test::FakeFolderPanel& panel = sample.panel();
    const QString signatures = sample.signaturesFolder();

    app.showWindow();
    QVERIFY(QTest::qWaitForWindowExposed(app.window()));
    ContentView* content = app.contentView();

    // Onboarding: welcome, Continue, the grant-access step.
    QCOMPARE(content->appState(), AppState::onboarding);
    OnboardingView* onboarding = content->onboardingView();
    QTest::mouseClick(onboarding->welcomeStep()->continueButton(), Qt::LeftButton);
    QTRY_VERIFY(!onboarding->isAnimating());
    GrantAccessStep* grant = onboarding->grantAccessStep();
    QVERIFY(grant && grant->isVisible());

    // Grant Access opens the panel in Mail's folder; the user picks it.
    QTest::mouseClick(grant->grantAccessButton(), Qt::LeftButton);
    QCOMPARE(content->appState(), AppState::loading);
    QCOMPARE(panel.openCount(), 1);
    QCOMPARE(panel.options(0).directoryURL, QUrl::fromLocalFile(signatures));
    panel.choose(QUrl::fromLocalFile(signatures));
    QTRY_COMPARE(content->appState(), AppState::list);
    QCOMPARE(content->service().signatures().size(), 3);
    QVERIFY(content->service().hasBookmark());
    SplitEditorView* split = content->splitEditorView();
    QVERIFY(split->isVisible());

    // A row: the editor loads the quoted-printable signature, decoded.
    auto* list = split->findChild<QListView*>(QStringLiteral("signatureList"));
    QVERIFY(list);
    QCOMPARE(list->model()->rowCount(), 3);
    int row = -1;
    for (int i = 0; i < 3; ++i)
        if (content->service().signatures().at(i).displayName == u"Atelier (fran\u00e7ais)")
            row = i;
    QVERIFY(row >= 0);
    const SignatureFile picked = content->service().signatures().at(row);
    list->setCurrentIndex(list->model()->index(row, 0));
    QVERIFY(content->selectedSignature());
    QCOMPARE(content->selectedSignature()->id, picked.id);
    auto* editor = split->findChild<SignatureEditorDetailView*>();
    QVERIFY(editor);
    editor->setToastDuration(300);
    QTRY_VERIFY(!editor->state().isLoading);
    QVERIFY(editor->state().htmlDraft.contains(QStringLiteral("Zo\u00eb Laurent-M\u00fcller")));

    // The code view, an edit, Save to Mail.
    auto* codeSegment = editor->findChild<QAbstractButton*>(QStringLiteral("codeSegment"));
    QVERIFY(codeSegment);
    QTest::mouseClick(codeSegment, Qt::LeftButton);
    auto* code = editor->findChild<QPlainTextEdit*>(QStringLiteral("codeEditor"));
    QTRY_VERIFY(code->isVisible());
    auto* save = editor->findChild<QAbstractButton*>(QStringLiteral("saveButton"));
    QVERIFY(!save->isEnabled());
    code->moveCursor(QTextCursor::End);
    QTest::keyClicks(code, QStringLiteral("<p>Edited in Veltrin</p>"));
    QTRY_VERIFY(save->isEnabled());
    QTest::mouseClick(save, Qt::LeftButton);
    QVERIFY(!editor->saveConfirmation() || !editor->saveConfirmation()->isVisible());

    // The toast shows, then goes; the state stays the list and the split view stays.
    auto* toast = editor->findChild<SaveToastView*>();
    QVERIFY(toast);
    QTRY_VERIFY(toast->isVisible());
    QVERIFY(editor->state().showingSaveToast);
    QTRY_VERIFY(!editor->state().showingSaveToast);
    QCOMPARE(content->appState(), AppState::list);
    QCOMPARE(content->splitEditorView(), split);
    QVERIFY(!save->isEnabled());

    // On disk: the edit, one backup of the previous file, and the file locked.
    QFile file(picked.filePath.toLocalFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    QVERIFY(written.contains("<p>Edited in Veltrin</p>"));
    QVERIFY(written.startsWith("Content-Transfer-Encoding: quoted-printable\nContent-Type: text/html;\n"));
    const QList<QUrl> backups = picked.backups();
    QCOMPARE(backups.size(), 1);
    QVERIFY(backups.first().fileName().startsWith(
        QFileInfo(picked.fileName).completeBaseName() + QStringLiteral(".bak.")));
    QFile backup(backups.first().toLocalFile());
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QVERIFY(!backup.readAll().contains("Edited in Veltrin"));
    // Unlocked before the backup, locked 0600 after the write, through the window's services.
    const QString path = picked.filePath.toLocalFile();
    QCOMPARE(sample.attributes().calls(), QStringList({ QStringLiteral("clear ") + path, QStringLiteral("lock ") + path }));
    QCOMPARE(sample.attributes().permissions(path), std::optional<int>(0600));
    QCOMPARE(sample.attributes().isImmutable(path), true);

    // The rescan after the save kept the state: a fresh list, the same file still selected.
    QTRY_VERIFY(!content->service().signatures().isEmpty());
    QCOMPARE(content->service().signatures().size(), 3);
    QVERIFY(content->service().signatures().at(row).id != picked.id);
    QCOMPARE(content->selectedSignature()->id, picked.id);
    QCOMPARE(content->appState(), AppState::list);
    QCOMPARE(editor->state().htmlDraft, editor->state().originalBody);
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
