#include "SampleApplication.h"
#include "app/editor/SignatureEditorDetailView.h"
#include "app/sidebar/SplitEditorView.h"
#include "app/window/ContentView.h"
#include "app/window/VeltrinApp.h"
#include "store/SignatureWriter.h"

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QListView>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

using namespace veltrin;

namespace {

const QString edit = QStringLiteral("<p>Typed, not saved</p>");


enum class Way { rowByMouse, rowByKeyboard, reloadButton, fullLoad, closeButton, fileClose };

const QList<std::pair<const char*, Way>> waysOut {
    { "another row by mouse", Way::rowByMouse },
    { "another row by keyboard", Way::rowByKeyboard },
    { "reload button", Way::reloadButton },
    { "full load", Way::fullLoad },
    { "window close button", Way::closeButton },
    { "File, Close", Way::fileClose },
};

QByteArray bytesAt(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The application on a folder of sample signatures, already granted: it opens on the list.
struct App {
    test::SampleApplication sample { test::SampleApplication::Start::folderGranted };
    VeltrinApp* app = &sample.app();
    test::FakeRunningApplications& running = sample.running();
    QStringList states;

    App()
    {
        QObject::connect(app->contentView(), &ContentView::appStateChanged, app->contentView(),
            [this](AppState state) { states.append(QString::fromLatin1(toString(state))); });
    }
    Q_DISABLE_COPY_MOVE(App)

    ContentView* content() const { return app->contentView(); }
    SplitEditorView* split() const { return content()->splitEditorView(); }
    QListView* list() const { return split()->findChild<QListView*>(QStringLiteral("signatureList")); }
    SignatureEditorDetailView* editor() const { return split()->findChild<SignatureEditorDetailView*>(); }
    QPlainTextEdit* code() const
    {
        return editor()->findChild<QPlainTextEdit*>(QStringLiteral("codeEditor"));
    }
    int highlightedRow() const
    {
        const QModelIndexList rows = list()->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.first().row();
    }
    QString pathOfRow(int row) const
    {
        return content()->service().signatures().at(row).filePath.toLocalFile();
    }

    void clickRow(int row) const
    {
        const QRect rect = list()->visualRect(list()->model()->index(row, 0));
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, rect.center());
    }

    // Shown, on the list, with the first row picked and loaded.
    void open()
    {
        app->showWindow();
        QVERIFY(QTest::qWaitForWindowExposed(app->window()));
        QTRY_COMPARE(content()->appState(), AppState::list);
        QTRY_COMPARE(list()->model()->rowCount(), 3);
        clickRow(0);
        QVERIFY(editor());
        QTRY_VERIFY(!editor()->state().isLoading);
        editor()->setToastDuration(100);
        states.clear();
    }

    void typeInCode(const QString& text) const
    {
        editor()->findChild<QAbstractButton*>(QStringLiteral("codeSegment"))->click();
        code()->setFocus();
        code()->moveCursor(QTextCursor::End);
        QTest::keyClicks(code(), text);
    }

    void leave(Way way) const
    {
        switch (way) {
        case Way::rowByMouse:
            clickRow(1);
            break;
        case Way::rowByKeyboard:
            list()->setFocus();
            QTest::keyClick(list(), Qt::Key_Down);
            break;
        case Way::reloadButton:
            QTest::mouseClick(
                split()->findChild<QToolButton*>(QStringLiteral("reloadButton")), Qt::LeftButton);
            break;
        case Way::fullLoad:
            content()->loadSignatures();
            break;
        case Way::closeButton:
            // The window system's close, as from the title bar's button.
            app->window()->windowHandle()->close();
            break;
        case Way::fileClose:
            app->closeAction()->trigger();
            break;
        }
    }

    static QMessageBox* question()
    {
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget* window : windows) {
            if (window->objectName() == u"leaveQuestion" && window->isVisible())
                return qobject_cast<QMessageBox*>(window);
        }
        return nullptr;
    }

    // A button's text, or a key: Return takes the default button, Escape the escape button.
    static void answer(const QString& choice)
    {
        QMessageBox* box = question();
        QVERIFY(box);
        if (choice == u"Return" || choice == u"Escape") {
            QTest::keyClick(box, choice == u"Return" ? Qt::Key_Return : Qt::Key_Escape);
            return;
        }
        const QList<QAbstractButton*> buttons = box->buttons();
        for (QAbstractButton* button : buttons) {
            if (button->text() == choice) {
                button->click();
                return;
            }
        }
        QFAIL(qPrintable(u"no button " + choice));
    }
};

} // namespace

Q_DECLARE_METATYPE(Way)

class TestUnsavedChanges final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void eachWayOutAsksFirst_data();
    void eachWayOutAsksFirst();
    void noQuestionWithoutUnsavedChanges_data();
    void noQuestionWithoutUnsavedChanges();
    void saveWithMailRunningConfirmsBeforeLeaving_data();
    void saveWithMailRunningConfirmsBeforeLeaving();
    void failedSaveStays();
    void quitAsksFirst_data();
    void quitAsksFirst();
    void quitFromASignalDoesNotWait();
};

void TestUnsavedChanges::eachWayOutAsksFirst_data()
{
    QTest::addColumn<Way>("way");
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("outcome");
    for (const auto& [name, way] : waysOut) {
        for (const QString& choice : { u"Save"_qs, u"Don't Save"_qs, u"Cancel"_qs })
            QTest::addRow("%s, %s", name, qPrintable(choice)) << way << choice << choice;
        // Return saves and Escape cancels: a key never throws the edits away.
        QTest::addRow("%s, Return", name) << way << u"Return"_qs << u"Save"_qs;
        QTest::addRow("%s, Escape", name) << way << u"Escape"_qs << u"Cancel"_qs;
    }
}

void TestUnsavedChanges::eachWayOutAsksFirst()
{
    QFETCH(Way, way);
    QFETCH(QString, choice);
    QFETCH(QString, outcome);
    App app;
    app.open();
    const QString path = app.pathOfRow(0);
    const QString otherPath = app.pathOfRow(1);
    const QByteArray before = bytesAt(path);
    const QString loaded = app.editor()->state().htmlDraft;
    app.typeInCode(edit);
    const QString draft = app.editor()->state().htmlDraft;
    QCOMPARE(draft, loaded + edit);

    app.leave(way);
    QTRY_VERIFY(App::question());
    QMessageBox* box = App::question();
    QCOMPARE(box->parentWidget()->window(), app.app->window());
    QCOMPARE(box->windowModality(), Qt::WindowModal);
    const QString name = app.content()->service().signatures().at(0).displayName;
    QCOMPARE(box->text(), u"Do you want to save the changes you made to \u201c%1\u201d?"_qs.arg(name));
    QCOMPARE(box->informativeText(), u"Your changes will be lost if you don't save them."_qs);
    QStringList texts;
    const QList<QAbstractButton*> buttons = box->buttons();
    for (const QAbstractButton* button : buttons)
        texts << button->text();
    texts.sort();
    QCOMPARE(texts, (QStringList { u"Cancel"_qs, u"Don't Save"_qs, u"Save"_qs }));
    // Nothing moved while asking: the old row stays highlighted, the editor keeps the draft.
    QCOMPARE(app.content()->appState(), AppState::list);
    QCOMPARE(app.highlightedRow(), 0);
    QCOMPARE(app.content()->selectedSignature()->filePath.toLocalFile(), path);
    QCOMPARE(app.editor()->state().htmlDraft, draft);
    QVERIFY(app.app->window()->isVisible());
    QCOMPARE(bytesAt(path), before);

    App::answer(choice);
    QTRY_VERIFY(!App::question());

    if (outcome == u"Save") {
        QVERIFY(bytesAt(path) != before);
        SignatureFile saved;
        saved.filePath = QUrl::fromLocalFile(path);
        // The save may end the text with a line feed of its own.
        QVERIFY(saved.loadContent().value().html.startsWith(draft));
    } else {
        QCOMPARE(bytesAt(path), before);
    }

    if (outcome == u"Cancel") {
        QCOMPARE(app.content()->appState(), AppState::list);
        QVERIFY(app.states.isEmpty());
        QCOMPARE(app.highlightedRow(), 0);
        QCOMPARE(app.list()->currentIndex().row(), 0);
        QCOMPARE(app.content()->selectedSignature()->filePath.toLocalFile(), path);
        QCOMPARE(app.editor()->state().htmlDraft, draft);
        QCOMPARE(app.code()->toPlainText(), draft);
        QVERIFY(app.app->window()->isVisible());
        // Asked again at the next try: the edits are still unsaved.
        app.leave(way);
        QTRY_VERIFY(App::question());
        App::answer(u"Cancel"_qs);
        return;
    }

    switch (way) {
    case Way::rowByMouse:
    case Way::rowByKeyboard:
        QCOMPARE(app.content()->selectedSignature()->filePath.toLocalFile(), otherPath);
        QCOMPARE(app.editor()->signature().filePath.toLocalFile(), otherPath);
        QTRY_VERIFY(!app.editor()->state().isLoading);
        QVERIFY(!app.editor()->state().htmlDraft.contains(edit));
        QVERIFY(!app.editor()->holdsUnsavedChanges());
        if (outcome != u"Save") // a save rescans: the kept selection then matches no row
            QCOMPARE(app.highlightedRow(), 1);
        break;
    case Way::reloadButton:
    case Way::fullLoad:
        QCOMPARE(app.states.value(0), u"loading"_qs);
        QTRY_COMPARE(app.content()->appState(), AppState::list);
        break;
    case Way::closeButton:
    case Way::fileClose:
        QTRY_VERIFY(!app.app->window()->isVisible());
        break;
    }
}

// Untouched, or typed and typed away again: every way out goes at once.
void TestUnsavedChanges::noQuestionWithoutUnsavedChanges_data()
{
    QTest::addColumn<Way>("way");
    QTest::addColumn<bool>("typeAndDelete");
    for (const auto& [name, way] : waysOut) {
        QTest::addRow("%s, untouched", name) << way << false;
        QTest::addRow("%s, typed and deleted", name) << way << true;
    }
}

void TestUnsavedChanges::noQuestionWithoutUnsavedChanges()
{
    QFETCH(Way, way);
    QFETCH(bool, typeAndDelete);
    App app;
    app.open();
    const QString path = app.pathOfRow(0);
    const QByteArray before = bytesAt(path);
    const QString otherPath = app.pathOfRow(1);
    if (typeAndDelete) {
        app.typeInCode(u"x"_qs);
        QTest::keyClick(app.code(), Qt::Key_Backspace);
    }
    app.leave(way);
    QVERIFY(!App::question());
    switch (way) {
    case Way::rowByMouse:
    case Way::rowByKeyboard:
        QCOMPARE(app.content()->selectedSignature()->filePath.toLocalFile(), otherPath);
        QCOMPARE(app.highlightedRow(), 1);
        break;
    case Way::reloadButton:
    case Way::fullLoad:
        QCOMPARE(app.content()->appState(), AppState::loading);
        break;
    case Way::closeButton:
    case Way::fileClose:
        QVERIFY(!app.app->window()->isVisible());
        break;
    }
    QVERIFY(!App::question());
    QCOMPARE(bytesAt(path), before);
}

// "Save" takes the button's path: with Mail open its confirmation comes first, and only a
// save that happened lets the editor go.
void TestUnsavedChanges::saveWithMailRunningConfirmsBeforeLeaving_data()
{
    QTest::addColumn<QString>("confirmation");
    QTest::addRow("Save") << u"Save"_qs;
    QTest::addRow("Cancel") << u"Cancel"_qs;
}

void TestUnsavedChanges::saveWithMailRunningConfirmsBeforeLeaving()
{
    QFETCH(QString, confirmation);
    App app;
    app.open();
    const QString path = app.pathOfRow(0);
    const QByteArray before = bytesAt(path);
    app.typeInCode(edit);
    app.running.setRunning(u"com.apple.mail"_qs, 1);

    app.leave(Way::rowByMouse);
    QTRY_VERIFY(App::question());
    App::answer(u"Save"_qs);
    QTRY_VERIFY(app.editor()->saveConfirmation() && app.editor()->saveConfirmation()->isVisible());
    QCOMPARE(bytesAt(path), before);
    QCOMPARE(app.highlightedRow(), 0);
    const QList<QAbstractButton*> buttons = app.editor()->saveConfirmation()->buttons();
    for (QAbstractButton* button : buttons) {
        if (button->text() == confirmation)
            button->click();
    }
    QTRY_VERIFY(!app.editor()->saveConfirmation());
    if (confirmation == u"Save") {
        QVERIFY(bytesAt(path) != before);
        QCOMPARE(app.content()->selectedSignature()->filePath.toLocalFile(), app.pathOfRow(1));
    } else {
        QCOMPARE(bytesAt(path), before);
        QCOMPARE(app.content()->selectedSignature()->filePath.toLocalFile(), path);
        QCOMPARE(app.highlightedRow(), 0);
        QVERIFY(app.editor()->state().htmlDraft.endsWith(edit));
    }
}

void TestUnsavedChanges::failedSaveStays()
{
    App app;
    app.open();
    const QString path = app.pathOfRow(0);
    app.typeInCode(edit);
    // A plain file where the backup folder goes: the save can't make its copy.
    const QString backups = SignatureWriter::backupFolder(QUrl::fromLocalFile(path));
    QDir(backups).removeRecursively();
    QVERIFY(QFile(backups).open(QIODevice::WriteOnly));
    const QByteArray before = bytesAt(path);

    app.leave(Way::fileClose);
    QTRY_VERIFY(App::question());
    App::answer(u"Save"_qs);
    QTRY_VERIFY(!App::question());
    QVERIFY(app.editor()->state().saveError);
    QVERIFY(app.app->window()->isVisible());
    QCOMPARE(bytesAt(path), before);
    QVERIFY(app.editor()->state().htmlDraft.endsWith(edit));
}

void TestUnsavedChanges::quitAsksFirst_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<bool>("quits");
    QTest::addColumn<bool>("written");
    QTest::addRow("Save") << u"Save"_qs << true << true;
    QTest::addRow("Don't Save") << u"Don't Save"_qs << true << false;
    QTest::addRow("Cancel") << u"Cancel"_qs << false << false;
}

void TestUnsavedChanges::quitAsksFirst()
{
    QFETCH(QString, choice);
    QFETCH(bool, quits);
    QFETCH(bool, written);
    App app;
    app.open();
    const QString path = app.pathOfRow(0);
    const QByteArray before = bytesAt(path);
    app.typeInCode(edit);
    const QString draft = app.editor()->state().htmlDraft;
    QAction* quit = nullptr;
    const QList<QAction*> actions = app.app->applicationMenu()->actions();
    for (QAction* action : actions) {
        if (action->shortcut() == QKeySequence(QKeySequence::Quit))
            quit = action;
    }
    QVERIFY(quit);

    bool asked = false;
    QTimer::singleShot(0, quit, &QAction::trigger);
    // Answers once the question shows; a quit that was refused ends the loop itself.
    QTimer answering;
    connect(&answering, &QTimer::timeout, this, [&] {
        if (!App::question())
            return;
        answering.stop();
        asked = true;
        App::answer(choice);
        if (app.app->window()->isVisible())
            QCoreApplication::exit(7);
    });
    answering.start(10);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [] { QCoreApplication::exit(1); });
    watchdog.start(20000);
    QCOMPARE(QCoreApplication::exec(), quits ? 0 : 7);
    QVERIFY(asked);
    QCOMPARE(bytesAt(path) != before, written);
    QCOMPARE(app.app->window()->isVisible(), !quits);
    if (!quits)
        QCOMPARE(app.editor()->state().htmlDraft, draft);
}

// A quit from a termination signal ends the application without waiting for an answer.
void TestUnsavedChanges::quitFromASignalDoesNotWait()
{
    App app;
    app.open();
    const QString path = app.pathOfRow(0);
    const QByteArray before = bytesAt(path);
    app.typeInCode(edit);

    bool asked = false;
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QTimer watching;
    connect(&watching, &QTimer::timeout, this, [&] {
        if (App::question()) {
            asked = true;
            QCoreApplication::exit(7);
        }
    });
    watching.start(10);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, this, [] { QCoreApplication::exit(1); });
    watchdog.start(20000);
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!asked);
    QCOMPARE(bytesAt(path), before);
}

QTEST_MAIN(TestUnsavedChanges)
#include "tst_unsavedchanges.moc"
