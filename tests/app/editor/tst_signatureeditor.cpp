#include "app/editor/EditorModes.h"
#include "app/editor/PreviewHost.h"
#include "app/editor/SaveToastView.h"
#include "app/editor/SignatureEditorDetailView.h"
#include "app/editor/ThemeMenu.h"
#include "app/look/ElidingLabel.h"
#include "app/look/Style.h"
#include "app/sidebar/SplitEditorView.h"
#include "app/window/ContentView.h"

#include "FakeStorage.h"
#include "FakeRunningApplications.h"
#include "LookChecks.h"
#include "PreviewModuleTestMain.h"
#include "TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontMetricsF>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QToolButton>
#include <QWidgetAction>

using namespace veltrin;
using veltrin::test::FakeRunningApplications;
using State = SignatureEditorDetailView::State;
using ErrorLine = SignatureEditorDetailView::ErrorLine;

Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(std::optional<ErrorLine>)

namespace {

const QString mail = QStringLiteral("com.apple.mail");

SignatureFile signatureAt(const QString& path, const QString& displayName = QStringLiteral("Work"))
{
    SignatureFile signature;
    signature.id = QUuid::createUuid();
    signature.fileName = QFileInfo(path).fileName();
    signature.displayName = displayName;
    signature.filePath = QUrl::fromLocalFile(path);
    signature.parentFolderURL = QUrl::fromLocalFile(QFileInfo(path).absolutePath());
    return signature;
}

// A copy of a fixture in the folder, so that saving never touches the checkout.
SignatureFile copyOfFixture(
    const QTemporaryDir& folder, const QString& fixture, const QString& name = QString())
{
    const QString path = folder.filePath(name.isEmpty() ? QFileInfo(fixture).fileName() : name);
    veltrin::test::writeFile(path, veltrin::test::readFixture(fixture));
    return signatureAt(path);
}

QByteArray bytesOf(const SignatureFile& signature)
{
    QFile file(signature.filePath.toLocalFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

template <typename T> T* child(const QWidget& parent, const char* name)
{
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qWarning("no child %s", name);
    return found;
}

// Shown as the window shows it; the editor loads when it comes on screen.
struct Editor {
    FakeRunningApplications running;
    veltrin::test::FakeStorage store;
    SignatureEditorDetailView view { running, store.storage };
    int saved = 0;

    // Tests shorten the toast unless they are about its own duration.
    enum class Toast { short_, asShipped };

    explicit Editor(const SignatureFile& signature, Toast toast = Toast::short_)
    {
        view.setOnSaved([this] { ++saved; });
        if (toast == Toast::short_)
            view.setToastDuration(200);
        view.setSignature(signature);
        view.resize(900, 600);
        view.show();
    }

    QPlainTextEdit* code() const { return child<QPlainTextEdit>(view, "codeEditor"); }
    QPushButton* saveButton() const { return child<QPushButton>(view, "saveButton"); }
    bool visible(const char* name) const { return child<QWidget>(view, name)->isVisibleTo(&view); }
    QWidget* contentPage() const { return child<QStackedWidget>(view, "content")->currentWidget(); }
    QString errorText() const { return child<ElidingLabel>(view, "errorText")->fullText(); }
    void switchTo(const char* segment) const { child<QPushButton>(view, segment)->click(); }
};

} // namespace

class TestSignatureEditor final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void rawValues_data();
    void rawValues();
    void effectiveColorScheme_data();
    void effectiveColorScheme();
    void unsavedChanges_data();
    void unsavedChanges();
    void saveEnabled_data();
    void saveEnabled();
    void errorLine_data();
    void errorLine();
    void loadSteps();

    void loadsIntoPreview();
    void preparedPreviewLoadsTwoHiddenPages();
    void pickBeforeSecondHiddenPageKeepsSignature();
    void typingComesAndGoes_data();
    void typingComesAndGoes();
    void saveWithoutMail();
    void toastHidesOnEarliestSchedule();
    void toastStaysTwoSeconds();
    void saveWithMailRunning_data();
    void saveWithMailRunning();
    void failedSaveShowsLineUntilDismissed();
    void toastAnnouncesOncePerSave();
    void unlockedSaveSaysWhy_data();
    void unlockedSaveSaysWhy();
    void failedLoadShowsNoText();
    void longNameAtMinimumWidth_data();
    void longNameAtMinimumWidth();
    void signatureErrorMessageWins();
    void longTextsStayOnOneLine();
    void newIdReloadsKeepingTheme();
    void themeMenuAndCodeMode();
    void themeMenuFromTheKeyboard();
    void systemThemeFollowsDesktop();
};

void TestSignatureEditor::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestSignatureEditor::rawValues_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<int>("viewMode"); // -1: not a mode
    QTest::addColumn<int>("theme"); // -1: not a theme
    QTest::addColumn<QString>("symbol");
    QTest::addRow("Preview") << u"Preview"_qs << int(ViewMode::view) << -1 << QString();
    QTest::addRow("Code") << u"Code"_qs << int(ViewMode::code) << -1 << QString();
    QTest::addRow("System") << u"System"_qs << -1 << int(PreviewTheme::system)
                            << u"circle.lefthalf.filled"_qs;
    QTest::addRow("Light") << u"Light"_qs << -1 << int(PreviewTheme::light) << u"sun.max.fill"_qs;
    QTest::addRow("Dark") << u"Dark"_qs << -1 << int(PreviewTheme::dark) << u"moon.fill"_qs;
    QTest::addRow("case matters") << u"preview"_qs << -1 << -1 << QString();
    QTest::addRow("no padding") << u"Dark "_qs << -1 << -1 << QString();
    QTest::addRow("empty") << QString() << -1 << -1 << QString();
}

void TestSignatureEditor::rawValues()
{
    QFETCH(QString, raw);
    QFETCH(int, viewMode);
    QFETCH(int, theme);
    QFETCH(QString, symbol);

    const std::optional<ViewMode> mode = viewModeFromRawValue(raw);
    QCOMPARE(mode.has_value(), viewMode >= 0);
    if (mode) {
        QCOMPARE(int(*mode), viewMode);
        QCOMPARE(rawValue(*mode), raw);
        QCOMPARE(qHash(*mode), qHash(raw));
    }
    const std::optional<PreviewTheme> previewTheme = previewThemeFromRawValue(raw);
    QCOMPARE(previewTheme.has_value(), theme >= 0);
    if (previewTheme) {
        QCOMPARE(int(*previewTheme), theme);
        QCOMPARE(rawValue(*previewTheme), raw);
        QCOMPARE(symbolName(*previewTheme), symbol);
    }
    QCOMPARE(allViewModes(), (QList<ViewMode> { ViewMode::view, ViewMode::code }));
    QCOMPARE(allPreviewThemes(),
        (QList<PreviewTheme> { PreviewTheme::system, PreviewTheme::light, PreviewTheme::dark }));
}

void TestSignatureEditor::effectiveColorScheme_data()
{
    QTest::addColumn<PreviewTheme>("theme");
    QTest::addColumn<ColorScheme>("system");
    QTest::addColumn<ColorScheme>("expected");
    QTest::addRow("system on light") << PreviewTheme::system << ColorScheme::light << ColorScheme::light;
    QTest::addRow("system on dark") << PreviewTheme::system << ColorScheme::dark << ColorScheme::dark;
    QTest::addRow("light on dark") << PreviewTheme::light << ColorScheme::dark << ColorScheme::light;
    QTest::addRow("dark on light") << PreviewTheme::dark << ColorScheme::light << ColorScheme::dark;
}

void TestSignatureEditor::effectiveColorScheme()
{
    QFETCH(PreviewTheme, theme);
    QFETCH(ColorScheme, system);
    QFETCH(ColorScheme, expected);
    QCOMPARE(veltrin::effectiveColorScheme(theme, system), expected);
    QCOMPARE(contentBackgroundColor(expected),
        expected == ColorScheme::dark ? QColor::fromRgbF(0.11f, 0.11f, 0.12f, 1.0f) : QColor(Qt::white));
}

void TestSignatureEditor::unsavedChanges_data()
{
    QTest::addColumn<QString>("draft");
    QTest::addColumn<QString>("original");
    QTest::addColumn<bool>("unsaved");
    const QString html = u"<p style=\"color:red\">"_qs;
    QTest::addRow("same text") << html << html << false;
    QTest::addRow("both empty") << QString() << QString() << false;
    QTest::addRow("one character more") << html + u"x" << html << true;
    QTest::addRow("one character less") << html.chopped(1) << html << true;
    QTest::addRow("composed and decomposed") << html + u"Ren\u00e9</p>" << html + u"Rene\u0301</p>" << false;
    QTest::addRow("decomposed at the very start") << u"e\u0301"_qs << u"\u00e9"_qs << false;
    QTest::addRow("Hangul syllable and jamo")
        << u"<b>\uD55C</b>"_qs << u"<b>\u1112\u1161\u11AB</b>"_qs << false;
    QTest::addRow("marks in either order") << u"a\u0323\u0307b"_qs << u"a\u0307\u0323b"_qs << false;
    QTest::addRow("other accent") << html + u"Ren\u00e9" << html + u"Ren\u00e8" << true;
    QTest::addRow("mark added to a letter") << u"<i>e</i>"_qs << u"<i>e\u0301</i>"_qs << true;
    QTest::addRow("mark order that matters") << u"a\u0301\u0300"_qs << u"a\u0300\u0301"_qs << true;
    QTest::addRow("line break style") << u"a\r\nb"_qs << u"a\nb"_qs << true;
}

void TestSignatureEditor::unsavedChanges()
{
    QFETCH(QString, draft);
    QFETCH(QString, original);
    QFETCH(bool, unsaved);
    State state;
    state.htmlDraft = draft;
    state.originalBody = original;
    QCOMPARE(SignatureEditorDetailView::hasUnsavedChanges(state), unsaved);
    std::swap(state.htmlDraft, state.originalBody);
    QCOMPARE(SignatureEditorDetailView::hasUnsavedChanges(state), unsaved);
}

void TestSignatureEditor::saveEnabled_data()
{
    QTest::addColumn<bool>("changed");
    QTest::addColumn<bool>("loading");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<bool>("enabled");
    QTest::addRow("changed") << true << false << true << true;
    QTest::addRow("unchanged") << false << false << true << false;
    QTest::addRow("changed while loading") << true << true << true << false;
    QTest::addRow("changed, but this file failed to load") << true << false << false << false;
}

void TestSignatureEditor::saveEnabled()
{
    QFETCH(bool, changed);
    QFETCH(bool, loading);
    QFETCH(bool, loaded);
    QFETCH(bool, enabled);
    State state;
    state.originalBody = u"<p>a</p>"_qs;
    state.htmlDraft = changed ? u"<p>b</p>"_qs : state.originalBody;
    state.isLoading = loading;
    state.contentMatchesSignature = loaded;
    QCOMPARE(SignatureEditorDetailView::saveEnabled(state), enabled);
}

void TestSignatureEditor::errorLine_data()
{
    QTest::addColumn<std::optional<QString>>("fileError");
    QTest::addColumn<std::optional<QString>>("saveError");
    QTest::addColumn<std::optional<ErrorLine>>("expected");
    const std::optional<QString> none;
    QTest::addRow("nothing") << none << none << std::optional<ErrorLine>();
    QTest::addRow("save error") << none << std::optional<QString>(u"Failed to save signature: x"_qs)
                                << std::optional<ErrorLine>(
                                       ErrorLine { u"Failed to save signature: x"_qs, true });
    QTest::addRow("file error") << std::optional<QString>(u"Unreadable"_qs) << none
                                << std::optional<ErrorLine>(ErrorLine { u"Unreadable"_qs, false });
    QTest::addRow("file error wins") << std::optional<QString>(u"Unreadable"_qs)
                                     << std::optional<QString>(u"Failed to save signature: x"_qs)
                                     << std::optional<ErrorLine>(ErrorLine { u"Unreadable"_qs, false });
}

void TestSignatureEditor::errorLine()
{
    QFETCH(std::optional<QString>, fileError);
    QFETCH(std::optional<QString>, saveError);
    QFETCH(std::optional<ErrorLine>, expected);
    SignatureFile signature;
    signature.errorMessage = fileError;
    State state;
    state.saveError = saveError;
    QCOMPARE(SignatureEditorDetailView::errorLine(signature, state), expected);
}

void TestSignatureEditor::loadSteps()
{
    State state;
    state.viewMode = ViewMode::code;
    state.previewTheme = PreviewTheme::dark;
    state.saveError = u"old"_qs;
    SignatureEditorDetailView::applyLoadResult(
        state, SignatureContent { u"Header: 1\n\n"_qs, u"<p>a</p>"_qs });
    QCOMPARE(state.header, u"Header: 1\n\n"_qs);
    QCOMPARE(state.originalBody, u"<p>a</p>"_qs);
    QCOMPARE(state.htmlDraft, u"<p>a</p>"_qs);
    QCOMPARE(state.viewMode, ViewMode::view);
    QCOMPARE(state.previewTheme, PreviewTheme::dark);
    QVERIFY(!state.saveError);
    QVERIFY(!state.isLoading);
    QVERIFY(state.contentMatchesSignature);

    state.htmlDraft = u"<p>edited</p>"_qs;
    state.viewMode = ViewMode::code;
    SignatureEditorDetailView::applyLoadResult(state, std::unexpected(Error { u"gone"_qs }));
    QCOMPARE(state.saveError, std::optional<QString>(u"Failed to load signature: gone"_qs));
    // Nothing of the previous file stays: no text, no unsaved edits.
    QVERIFY(state.header.isEmpty());
    QVERIFY(state.htmlDraft.isEmpty());
    QVERIFY(!SignatureEditorDetailView::hasUnsavedChanges(state));
    QCOMPARE(state.viewMode, ViewMode::view);
    QVERIFY(!state.isLoading);
    QVERIFY(!state.contentMatchesSignature);
    QVERIFY(!SignatureEditorDetailView::saveEnabled(state));

    SignatureEditorDetailView::applyLoadResult(
        state, SignatureContent { u"Header: 1\n\n"_qs, u"<p>a</p>"_qs });
    state.htmlDraft = u"<p>edited</p>"_qs;
    QVERIFY(!SignatureEditorDetailView::applySaveResult(state, std::unexpected(Error { u"disk full"_qs })));
    QCOMPARE(state.saveError, std::optional<QString>(u"Failed to save signature: disk full"_qs));
    QCOMPARE(state.originalBody, u"<p>a</p>"_qs);
    QVERIFY(SignatureEditorDetailView::applySaveResult(
        state, SaveResult { .backupFile = {}, .locked = true, .notLockedReason = {} }));
    QCOMPARE(state.originalBody, u"<p>edited</p>"_qs);
    QCOMPARE(state.saveError, std::optional<QString>(u"Failed to save signature: disk full"_qs));
}

void TestSignatureEditor::loadsIntoPreview()
{
    QTemporaryDir folder;
    const SignatureFile signature = copyOfFixture(folder, u"signatures/multipart-related.mailsignature"_qs);
    FakeRunningApplications running;
    veltrin::test::FakeStorage store;
    SignatureEditorDetailView view(running, store.storage);
    view.setSignature(signature);
    // Not on screen yet: nothing loaded, the placeholder shows.
    QVERIFY(view.state().isLoading);
    QCOMPARE(child<QStackedWidget>(view, "content")->currentWidget()->objectName(), u"loadingPage"_qs);
    // The header names the file before any load.
    QCOMPARE(child<QLabel>(view, "displayName")->text(), signature.displayName);
    QCOMPARE(child<ElidingLabel>(view, "filePath")->fullText(), signature.filePath.toLocalFile());
    QVERIFY(!child<QPushButton>(view, "saveButton")->isEnabled());

    Editor editor(signature);
    const QString expected
        = QString::fromUtf8(veltrin::test::readFixture(u"signatures/multipart-related.html"_qs));
    QCOMPARE(editor.view.state().htmlDraft, expected);
    QCOMPARE(editor.view.state().viewMode, ViewMode::view);
    QCOMPARE(editor.contentPage()->objectName(), u"previewPage"_qs);
    auto* preview = editor.view.findChild<PreviewHost*>();
    QCOMPARE(preview->htmlContent(), expected);
    QVERIFY(!editor.saveButton()->isEnabled());
    QVERIFY(!editor.visible("unsavedIndicator"));
    QVERIFY(!editor.visible("errorLine"));
    QVERIFY(!editor.visible("mailWarning"));
    QCOMPARE(child<QLabel>(editor.view, "displayName")->text(), u"Work"_qs);
    QCOMPARE(child<ElidingLabel>(editor.view, "filePath")->fullText(), signature.filePath.toLocalFile());
    QCOMPARE(child<QWidget>(editor.view, "modePicker")->width(), 160);
    QSignalSpy finished(preview, &PreviewHost::loadFinished);
    QVERIFY(finished.wait(20000));
    QVERIFY(finished.last().at(0).toBool());
}

// An editor on screen that has prepared its preview before any signature, the pages its preview
// held each time a load finished, and the files it read.
struct Prepared {
    FakeRunningApplications running;
    veltrin::test::FakeStorage store;
    SignatureEditorDetailView view { running, store.storage };
    PreviewHost* host = nullptr;
    QStringList pages;
    QList<qint64> loadedAt;
    QElapsedTimer clock;
    int reads = 0;

    Prepared()
    {
        store.files.onCall(
            [this](const QString& operation, const QUrl&) { reads += operation == u"read"_qs; });
        view.resize(900, 600);
        view.show();
        view.preparePreview();
        host = view.findChild<PreviewHost*>();
        clock.start();
        QObject::connect(host, &PreviewHost::loadFinished, host, [this] {
            pages << host->htmlContent();
            loadedAt << clock.elapsed();
        });
    }
};

void TestSignatureEditor::preparedPreviewLoadsTwoHiddenPages()
{
    Prepared prepared;
    QTRY_COMPARE_WITH_TIMEOUT(prepared.pages.size(), 2, 20000);
    QTest::qWait(2 * SignatureEditorDetailView::warmUpPageDelay);
    QCOMPARE(prepared.pages.size(), 2); // and no more
    QVERIFY(prepared.pages[0] != prepared.pages[1]); // or the second would not be loaded anew
    for (const QString& page : std::as_const(prepared.pages))
        QVERIFY2(page.startsWith(u"<p style=\"visibility: hidden\">"_qs), qPrintable(page));
    QVERIFY(prepared.loadedAt[1] - prepared.loadedAt[0] >= SignatureEditorDetailView::warmUpPageDelay);
    QCOMPARE(prepared.reads, 0);
    QVERIFY(prepared.view.state().isLoading);
}

// The second hidden page is due a moment after the first; a signature picked before must keep
// its page.
void TestSignatureEditor::pickBeforeSecondHiddenPageKeepsSignature()
{
    QTemporaryDir folder;
    const SignatureFile signature = copyOfFixture(folder, u"signatures/multipart-related.mailsignature"_qs);
    Prepared prepared;
    QTRY_COMPARE_WITH_TIMEOUT(prepared.pages.size(), 1, 20000);
    prepared.view.setSignature(signature);
    const QString html
        = QString::fromUtf8(veltrin::test::readFixture(u"signatures/multipart-related.html"_qs));
    QCOMPARE(prepared.host->htmlContent(), html);
    QTRY_COMPARE_WITH_TIMEOUT(prepared.pages.size(), 2, 20000);
    QTest::qWait(3 * SignatureEditorDetailView::warmUpPageDelay);
    QCOMPARE(prepared.pages, QStringList({ prepared.pages[0], html }));
    QCOMPARE(prepared.host->htmlContent(), html);
    QCOMPARE(prepared.reads, 1);
}

void TestSignatureEditor::typingComesAndGoes_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addRow("single part") << u"signatures/single-part.mailsignature"_qs;
    QTest::addRow("CRLF line breaks") << u"signatures/crlf.mailsignature"_qs;
    QTest::addRow("no-break spaces and accents") << u"editor/with-images.mailsignature"_qs;
}

// One character typed and typed away again: the text is the loaded one again.
void TestSignatureEditor::typingComesAndGoes()
{
    QFETCH(QString, fixture);
    QTemporaryDir folder;
    Editor editor(copyOfFixture(folder, fixture));
    QVERIFY(!editor.view.state().isLoading);
    const QString loaded = editor.view.state().htmlDraft;

    editor.switchTo("codeSegment");
    QCOMPARE(editor.view.state().viewMode, ViewMode::code);
    QCOMPARE(editor.contentPage()->objectName(), u"codePage"_qs);
    QVERIFY(editor.visible("themeBlank"));
    QVERIFY(!editor.visible("themeMenuButton"));

    editor.code()->setFocus();
    editor.code()->moveCursor(QTextCursor::End);
    const int queriesBefore = editor.running.queries();
    QTest::keyClicks(editor.code(), u"x"_qs);
    QVERIFY(editor.running.queries() > queriesBefore); // the footer asks at every keystroke
    QCOMPARE(editor.view.state().htmlDraft, loaded + u"x");
    QVERIFY(editor.visible("unsavedIndicator"));
    QVERIFY(editor.saveButton()->isEnabled());

    QTest::keyClick(editor.code(), Qt::Key_Backspace);
    QCOMPARE(editor.view.state().htmlDraft, loaded);
    QVERIFY(!editor.visible("unsavedIndicator"));
    QVERIFY(!editor.saveButton()->isEnabled());

    // The edit shows in the preview once the mode is switched back.
    QTest::keyClicks(editor.code(), u"<b>new</b>"_qs);
    editor.switchTo("previewSegment");
    QCOMPARE(editor.view.findChild<PreviewHost*>()->htmlContent(), loaded + u"<b>new</b>");
    QVERIFY(editor.visible("unsavedIndicator"));
}

void TestSignatureEditor::saveWithoutMail()
{
    QTemporaryDir folder;
    const SignatureFile signature = copyOfFixture(folder, u"signatures/single-part.mailsignature"_qs);
    Editor editor(signature);
    const QString header = editor.view.state().header;
    editor.switchTo("codeSegment");
    editor.code()->moveCursor(QTextCursor::Start);
    QTest::keyClicks(editor.code(), u"<p>Thanks</p>"_qs);
    const QString draft = editor.view.state().htmlDraft;

    QTest::mouseClick(editor.saveButton(), Qt::LeftButton);
    QVERIFY2(!editor.view.state().saveError, qPrintable(editor.view.state().saveError.value_or(QString())));
    QCOMPARE(editor.saved, 1);
    QVERIFY(editor.view.state().showingSaveToast);
    auto* toast = editor.view.findChild<SaveToastView*>();
    QVERIFY(toast->isVisible());
    QCOMPARE(toast->geometry().center().x(), editor.view.rect().center().x());
    QVERIFY(!editor.saveButton()->isEnabled());
    QVERIFY(!editor.visible("unsavedIndicator"));
    const auto reread = signature.loadContent();
    QVERIFY(reread);
    QCOMPARE(reread->html, draft);
    QCOMPARE(reread->header, header);
    // A save doesn't reload: the code editor keeps its text and mode.
    QCOMPARE(editor.view.state().viewMode, ViewMode::code);

    QTRY_VERIFY(!editor.view.state().showingSaveToast);
    QTRY_VERIFY(toast->isHidden());
}

// A screen reader hears "Signature saved" once for each save, not again at every render while the
// toast shows (typing, a theme change).
void TestSignatureEditor::toastAnnouncesOncePerSave()
{
    QTemporaryDir folder;
    const SignatureFile signature = copyOfFixture(folder, u"signatures/single-part.mailsignature"_qs);
    Editor editor(signature);
    editor.view.setToastDuration(60000);
    auto* toast = editor.view.findChild<SaveToastView*>();
    QVERIFY(toast);
    QSignalSpy announced(toast, &SaveToastView::announced);
    const auto alerts = [&announced] { return announced.count(); };

    editor.switchTo("codeSegment");
    QTest::keyClicks(editor.code(), u"a"_qs);
    QCOMPARE(alerts(), 0);
    editor.view.saveTapped();
    const qint64 firstSecond = QDateTime::currentSecsSinceEpoch();
    QVERIFY(editor.view.state().showingSaveToast);
    QCOMPARE(alerts(), 1);
    QTest::keyClicks(editor.code(), u"bc"_qs);
    editor.switchTo("previewSegment");
    editor.view.chooseTheme(PreviewTheme::dark);
    editor.view.chooseTheme(PreviewTheme::light);
    QVERIFY(editor.view.state().showingSaveToast);
    QCOMPARE(alerts(), 1);
    // A second save while the toast still shows is news again. Backups are named by the second,
    // so it comes in a later one.
    QTRY_VERIFY_WITH_TIMEOUT(QDateTime::currentSecsSinceEpoch() > firstSecond, 5000);
    editor.switchTo("codeSegment");
    QTest::keyClicks(editor.code(), u"d"_qs);
    QCOMPARE(alerts(), 1);
    editor.view.saveTapped();
    QVERIFY2(!editor.view.state().saveError, qPrintable(editor.view.state().saveError.value_or(QString())));
    QCOMPARE(editor.saved, 2);
    QCOMPARE(alerts(), 2);
}

void TestSignatureEditor::toastHidesOnEarliestSchedule()
{
    QTemporaryDir folder;
    Editor editor(copyOfFixture(folder, u"signatures/single-part.mailsignature"_qs));
    constexpr int duration = 6000;
    editor.view.setToastDuration(duration);
    editor.switchTo("codeSegment");
    QTest::keyClicks(editor.code(), u"a"_qs);
    editor.view.saveTapped();
    QElapsedTimer sinceFirst;
    sinceFirst.start();
    const qint64 firstSecond = QDateTime::currentSecsSinceEpoch();
    QVERIFY(editor.view.state().showingSaveToast);
    // Backups are named by the second, so the next save comes in a later one; and two seconds
    // apart, the two hides are told apart even when timers run late on a busy machine.
    QTRY_VERIFY_WITH_TIMEOUT(
        QDateTime::currentSecsSinceEpoch() > firstSecond && sinceFirst.elapsed() >= 2000, 10000);
    QTest::keyClicks(editor.code(), u"b"_qs);
    editor.view.saveTapped();
    const qint64 gap = sinceFirst.elapsed();
    QVERIFY2(gap < duration - 1000, "the second save came too late to tell the two hides apart");
    QVERIFY2(!editor.view.state().saveError, qPrintable(editor.view.state().saveError.value_or(QString())));
    QCOMPARE(editor.saved, 2);
    QVERIFY(editor.view.state().showingSaveToast);
    // The first save's hide, due duration - gap from now, ends the second toast before its own.
    QTRY_VERIFY_WITH_TIMEOUT(!editor.view.state().showingSaveToast, duration - 1000);
}

// The toast of an editor as shipped shows for two seconds. A coarse timer may fire up to 5 %
// early, and never earlier, so it must still show at 1.85 s.
void TestSignatureEditor::toastStaysTwoSeconds()
{
    QTemporaryDir folder;
    Editor editor(copyOfFixture(folder, u"signatures/single-part.mailsignature"_qs), Editor::Toast::asShipped);
    editor.switchTo("codeSegment");
    QTest::keyClicks(editor.code(), u"a"_qs);
    QElapsedTimer sinceSave;
    sinceSave.start();
    editor.view.saveTapped();
    QVERIFY2(!editor.view.state().saveError, qPrintable(editor.view.state().saveError.value_or(QString())));
    while (sinceSave.elapsed() < 1850) {
        QVERIFY2(editor.view.state().showingSaveToast, qPrintable(QString::number(sinceSave.elapsed())));
        QTest::qWait(25);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!editor.view.state().showingSaveToast, 10000);
}

void TestSignatureEditor::saveWithMailRunning_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<bool>("written");
    QTest::addRow("Cancel") << u"Cancel"_qs << false;
    QTest::addRow("Save") << u"Save"_qs << true;
}

void TestSignatureEditor::saveWithMailRunning()
{
    QFETCH(QString, choice);
    QFETCH(bool, written);
    QTemporaryDir folder;
    const SignatureFile signature = copyOfFixture(folder, u"signatures/single-part.mailsignature"_qs);
    const QByteArray before = bytesOf(signature);
    Editor editor(signature);
    editor.running.setRunning(mail, 1);
    editor.switchTo("codeSegment");
    QTest::keyClicks(editor.code(), u"!"_qs);
    QVERIFY(editor.visible("mailWarning"));
    const QList<QLabel*> warning = child<QWidget>(editor.view, "mailWarning")->findChildren<QLabel*>();
    QVERIFY(std::any_of(warning.begin(), warning.end(), [](const QLabel* label) {
        return label->text() == u"Mail is open \u2014 changes may be overwritten";
    }));

    const int queries = editor.running.queries();
    QTest::mouseClick(editor.saveButton(), Qt::LeftButton);
    QVERIFY(editor.running.queries() > queries);
    QVERIFY(editor.view.state().showingSaveConfirmation);
    QMessageBox* box = editor.view.saveConfirmation();
    QVERIFY(box);
    QTRY_VERIFY(box->isVisible());
    QCOMPARE(box->windowModality(), Qt::WindowModal);
    QCOMPARE(box->text(), u"Please close Mail before saving"_qs);
    QCOMPARE(box->informativeText(), u"Apple Mail can overwrite signature changes while it's open."_qs);
    const QList<QAbstractButton*> buttons = box->buttons();
    QCOMPARE(buttons.size(), 2);
    QAbstractButton* picked = nullptr;
    for (QAbstractButton* button : buttons) {
        QCOMPARE(box->buttonRole(button),
            button->text() == u"Save" ? QMessageBox::DestructiveRole : QMessageBox::RejectRole);
        if (button->text() == choice)
            picked = button;
    }
    QCOMPARE(bytesOf(signature), before); // nothing written while asking
    QVERIFY(picked);
    picked->click();
    QTRY_VERIFY(!editor.view.saveConfirmation());
    QVERIFY(!editor.view.state().showingSaveConfirmation);
    QCOMPARE(bytesOf(signature) != before, written);
    QCOMPARE(editor.saved, written ? 1 : 0);
    QCOMPARE(editor.view.state().showingSaveToast, written);
    QCOMPARE(editor.visible("unsavedIndicator"), !written);
}

void TestSignatureEditor::failedSaveShowsLineUntilDismissed()
{
    QTemporaryDir folder;
    QVERIFY(QDir().mkpath(folder.filePath(u"Signatures"_qs)));
    const SignatureFile signature
        = copyOfFixture(folder, u"signatures/single-part.mailsignature"_qs, u"Signatures/A.mailsignature"_qs);
    Editor editor(signature);
    editor.switchTo("codeSegment");
    QTest::keyClicks(editor.code(), u"x"_qs);
    // The folder is gone and a plain file stands in its place: nothing can be written there.
    QVERIFY(QDir(folder.filePath(u"Signatures"_qs)).removeRecursively());
    QVERIFY(veltrin::test::writeFile(folder.filePath(u"Signatures"_qs), "not a folder"));

    editor.view.saveTapped();
    QVERIFY(editor.view.state().saveError);
    QVERIFY(editor.errorText().startsWith(u"Failed to save signature: "));
    QVERIFY(editor.visible("errorLine"));
    QVERIFY(editor.visible("dismissButton"));
    QCOMPARE(child<QPushButton>(editor.view, "dismissButton")->text(), u"Dismiss"_qs);
    QVERIFY(editor.saveButton()->isEnabled());
    QVERIFY(editor.visible("unsavedIndicator"));
    QVERIFY(!editor.view.state().showingSaveToast);
    QCOMPARE(editor.saved, 0);

    QTest::mouseClick(child<QPushButton>(editor.view, "dismissButton"), Qt::LeftButton);
    QVERIFY(!editor.view.state().saveError);
    QVERIFY(!editor.visible("errorLine"));
}

void TestSignatureEditor::unlockedSaveSaysWhy_data()
{
    QTest::addColumn<std::optional<QString>>("refusal");
    QTest::addRow("locked") << std::optional<QString>();
    QTest::addRow("no privilege") << std::optional<QString>(u"locking needs a privilege this user lacks"_qs);
}

// A save that could not lock the file says so beside the save, with the reason; the toast
// keeps its own text.
void TestSignatureEditor::unlockedSaveSaysWhy()
{
    QFETCH(std::optional<QString>, refusal);
    QTemporaryDir folder;
    const SignatureFile signature = copyOfFixture(folder, u"signatures/single-part.mailsignature"_qs);
    Editor editor(signature);
    veltrin::test::FakeFileAttributes& attributes = editor.store.attributes;
    if (refusal)
        attributes.refuseLock(*refusal);
    QVERIFY(!editor.visible("notLockedNote"));
    editor.switchTo("codeSegment");
    QTest::keyClicks(editor.code(), u"x"_qs);

    QTest::mouseClick(editor.saveButton(), Qt::LeftButton);
    QVERIFY(!editor.view.state().saveError);
    QCOMPARE(editor.saved, 1);
    QVERIFY(attributes.calls().contains(u"lock " + signature.filePath.toLocalFile()));
    QCOMPARE(editor.view.findChild<SaveToastView*>()->isVisible(), true);
    QCOMPARE(SaveToastView::text(), u"Signature saved"_qs);
    QCOMPARE(editor.visible("notLockedNote"), refusal.has_value());
    if (refusal) {
        QCOMPARE(child<QLabel>(editor.view, "notLockedNote")->text(),
            u"Saved, but not locked: locking needs a privilege this user lacks, so Mail can still "
            u"change the file."_qs);
        // The sentence outlives the toast: the file stays unlocked.
        QTRY_VERIFY(!editor.view.state().showingSaveToast);
        QVERIFY(editor.visible("notLockedNote"));
        // It speaks of the last save of this file: a load takes it away.
        editor.view.loadSignature();
        QVERIFY(!editor.visible("notLockedNote"));
    }
}

// After a failed load of B the editor shows B's error line and nothing of A: neither its text nor
// its unsaved edits. Nothing can be saved into B until it loads.
void TestSignatureEditor::failedLoadShowsNoText()
{
    QTemporaryDir folder;
    const SignatureFile first
        = copyOfFixture(folder, u"signatures/single-part.mailsignature"_qs, u"A.mailsignature"_qs);
    const QByteArray unreadable("Content-Type: text/html\n\n\xff\xfe broken \xc3");
    QVERIFY(veltrin::test::writeFile(folder.filePath(u"B.mailsignature"_qs), unreadable));
    SignatureFile second = signatureAt(folder.filePath(u"B.mailsignature"_qs), u"Personal"_qs);

    Editor editor(first);
    editor.switchTo("codeSegment");
    QTest::keyClicks(editor.code(), u"A's edit"_qs);
    QVERIFY(editor.visible("unsavedIndicator"));
    editor.view.setSignature(second);
    QVERIFY(editor.errorText().startsWith(u"Failed to load signature: "));
    QCOMPARE(child<ElidingLabel>(editor.view, "displayName")->fullText(), u"Personal"_qs);
    QVERIFY(editor.view.state().htmlDraft.isEmpty());
    QCOMPARE(editor.contentPage()->objectName(), u"emptyPage"_qs);
    QVERIFY(!editor.visible("unsavedIndicator"));
    QVERIFY(!editor.saveButton()->isEnabled());
    QVERIFY(editor.code()->document()->isEmpty());

    // Neither mode shows text; neither the button nor a save asked for directly writes into B.
    editor.switchTo("codeSegment");
    QCOMPARE(editor.contentPage()->objectName(), u"emptyPage"_qs);
    editor.view.performSave();
    editor.view.saveTapped();
    QCOMPARE(bytesOf(second), unreadable);
    QCOMPARE(editor.saved, 0);

    // Once B is readable and picked again, it loads and saves as usual.
    QVERIFY(veltrin::test::writeFile(
        second.filePath.toLocalFile(), veltrin::test::readFixture(u"signatures/crlf.mailsignature"_qs)));
    second.id = QUuid::createUuid();
    editor.view.setSignature(second);
    QVERIFY(!editor.view.state().saveError);
    editor.switchTo("codeSegment");
    QTest::keyClicks(editor.code(), u"y"_qs);
    QVERIFY(editor.saveButton()->isEnabled());
    editor.view.saveTapped();
    QCOMPARE(editor.saved, 1);
    QVERIFY(second.loadContent()->html.startsWith(u'y'));
}

// The name shortens instead of widening the window: at the window's minimum width the whole
// editor, "Save to Mail" included, stays inside it.
void TestSignatureEditor::longNameAtMinimumWidth_data()
{
    QTest::addColumn<QString>("name");
    QTest::addRow("letters") << QString(100, u'W');
    // The header shows a name as stored, and so does its tooltip: never read as markup.
    QTest::addRow("tags") << u"Sales <b>team</b> "_qs + QString(100, u'W');
    QTest::addRow("entity") << u"R&amp;D "_qs + QString(100, u'W');
}

void TestSignatureEditor::longNameAtMinimumWidth()
{
    QFETCH(QString, name);
    QTemporaryDir folder;
    SignatureFile signature = copyOfFixture(folder, u"signatures/single-part.mailsignature"_qs);
    signature.displayName = name;
    FakeRunningApplications running;
    veltrin::test::FakeStorage store;
    SplitEditorView split(running, store.storage);
    split.setSignatures({ signature });
    split.setSelectedSignature(signature);
    split.resize(ContentView::minimumWidth, ContentView::minimumHeight);
    split.show();
    QVERIFY(QTest::qWaitForWindowExposed(&split));
    QVERIFY(split.minimumSizeHint().width() <= ContentView::minimumWidth);
    auto* editor = split.findChild<SignatureEditorDetailView*>();
    QVERIFY(editor);
    QTRY_VERIFY(!editor->state().isLoading);
    auto* label = child<ElidingLabel>(*editor, "displayName");
    QTRY_VERIFY(label->text().endsWith(u'\u2026'));
    QCOMPARE(veltrin::test::hoverToolTip(*label, label->rect().center()), signature.displayName);
    const auto inside = [&](const char* objectName) {
        QWidget* widget = child<QWidget>(*editor, objectName);
        const QRect rect(widget->mapTo(&split, QPoint(0, 0)), widget->size());
        return split.rect().contains(rect);
    };
    QVERIFY(inside("saveButton"));
    QVERIFY(inside("modePicker"));
    QVERIFY(inside("themeMenuButton"));
}

void TestSignatureEditor::signatureErrorMessageWins()
{
    QTemporaryDir folder;
    SignatureFile signature = copyOfFixture(folder, u"signatures/single-part.mailsignature"_qs);
    signature.errorMessage = u"Something about this file"_qs;
    Editor editor(signature);
    QVERIFY(editor.visible("errorLine"));
    QCOMPARE(editor.errorText(), u"Something about this file"_qs);
    QVERIFY(!editor.visible("dismissButton"));
}

void TestSignatureEditor::longTextsStayOnOneLine()
{
    QTemporaryDir folder;
    const QString deep
        = u"Library/Mail/V10/MailData/Signatures/a-rather-long-folder-name-for-this-test/another-one"_qs;
    QVERIFY(QDir().mkpath(folder.filePath(deep)));
    SignatureFile signature = copyOfFixture(folder, u"signatures/single-part.mailsignature"_qs,
        deep + u"/0C1D2E3F-4A5B-6C7D-8E9F-A0B1C2D3E4F5.mailsignature");
    signature.errorMessage
        = QString(30, u'w') + u" and then a long explanation of what went wrong with this file";
    Editor editor(signature);
    editor.view.resize(520, 500);
    QCoreApplication::processEvents();

    const QString path = signature.filePath.toLocalFile();
    auto* pathLabel = child<ElidingLabel>(editor.view, "filePath");
    QVERIFY(pathLabel->text().contains(u'\u2026'));
    QVERIFY(pathLabel->text().startsWith(path.left(4)));
    QVERIFY(pathLabel->text().endsWith(u".mailsignature"));
    auto* errorLabel = child<ElidingLabel>(editor.view, "errorText");
    QVERIFY(errorLabel->text().endsWith(u'\u2026'));
    QVERIFY(errorLabel->height() < 2 * errorLabel->fontMetrics().lineSpacing());
}

void TestSignatureEditor::newIdReloadsKeepingTheme()
{
    QTemporaryDir folder;
    const SignatureFile first = copyOfFixture(folder, u"signatures/single-part.mailsignature"_qs);
    const SignatureFile second = copyOfFixture(folder, u"signatures/crlf.mailsignature"_qs);
    Editor editor(first);
    editor.view.chooseTheme(PreviewTheme::dark);
    editor.switchTo("codeSegment");
    QTest::keyClicks(editor.code(), u"x"_qs);

    // The same file under the same id (the value after a save): nothing reloads.
    SignatureFile renamed = first;
    renamed.displayName = u"Renamed"_qs;
    editor.view.setSignature(renamed);
    QVERIFY(SignatureEditorDetailView::hasUnsavedChanges(editor.view.state()));
    QCOMPARE(child<QLabel>(editor.view, "displayName")->text(), u"Renamed"_qs);

    editor.view.setSignature(second);
    QCOMPARE(editor.view.state().viewMode, ViewMode::view);
    QCOMPARE(editor.view.state().previewTheme, PreviewTheme::dark);
    QCOMPARE(editor.view.state().htmlDraft,
        QString::fromUtf8(veltrin::test::readFixture(u"signatures/crlf.html"_qs)));
    QVERIFY(!editor.visible("unsavedIndicator"));
}

void TestSignatureEditor::themeMenuAndCodeMode()
{
    QTemporaryDir folder;
    Editor editor(copyOfFixture(folder, u"signatures/single-part.mailsignature"_qs));
    auto* button = child<QToolButton>(editor.view, "themeMenuButton");
    QVERIFY(editor.visible("themeMenuButton"));
    QCOMPARE(button->size(), QSize(16, 11));
    QCOMPARE(button->toolTip(), u"Change preview theme"_qs);
    const QList<QAction*> actions = button->menu()->actions();
    QStringList names;
    for (QAction* action : actions)
        names << action->text();
    QCOMPARE(names, (QStringList { u"System"_qs, u"Light"_qs, u"Dark"_qs }));

    auto* menu = static_cast<ThemeMenu*>(button->menu());
    const auto marked = [&] {
        QStringList result;
        for (const ThemeMenuRow* row : menu->rows()) {
            if (row->isCurrent())
                result << rawValue(row->theme());
        }
        return result;
    };
    QCOMPARE(marked(), QStringList { u"System"_qs });
    actions.at(2)->trigger();
    QCOMPARE(editor.view.state().previewTheme, PreviewTheme::dark);
    QCOMPARE(marked(), QStringList { u"Dark"_qs });
    auto* preview = editor.view.findChild<PreviewHost*>();
    QCOMPARE(preview->colorScheme(), ColorScheme::dark);
    // Handed on to the module's view, which builds the page (its colours are the preview's own tests).
    QVERIFY(preview->preview());
    QCOMPARE(preview->preview()->colorScheme(), ColorScheme::dark);
    QCOMPARE(child<QWidget>(editor.view, "previewBackground")->palette().color(QPalette::Window),
        contentBackgroundColor(ColorScheme::dark));

    // Code mode: the menu gives way to a blank of its size; the theme still applies.
    editor.switchTo("codeSegment");
    QVERIFY(!editor.visible("themeMenuButton"));
    QVERIFY(editor.visible("themeBlank"));
    QCOMPARE(child<QWidget>(editor.view, "themeBlank")->size(), QSize(16, 11));
    const QPalette code = editor.code()->palette();
    QCOMPARE(code.color(QPalette::Base), contentBackgroundColor(ColorScheme::dark));
    QCOMPARE(code.color(QPalette::Text), QColor(Qt::white));
    // Monospaced as drawn: narrow and wide letters take the same room.
    const QFontMetricsF codeMetrics(editor.code()->font());
    QCOMPARE(codeMetrics.horizontalAdvance(u"iiii.lll"_qs), codeMetrics.horizontalAdvance(u"WWWWMMmm"_qs));

    actions.at(1)->trigger();
    QCOMPARE(editor.code()->palette().color(QPalette::Base), QColor(Qt::white));
}

// Arrow keys move the highlight over the rows, Return chooses the highlighted theme.
void TestSignatureEditor::themeMenuFromTheKeyboard()
{
    QTemporaryDir folder;
    Editor editor(copyOfFixture(folder, u"signatures/single-part.mailsignature"_qs));
    auto* menu = static_cast<ThemeMenu*>(child<QToolButton>(editor.view, "themeMenuButton")->menu());
    menu->popup(editor.view.mapToGlobal(QPoint(10, 10)));
    QVERIFY(QTest::qWaitForWindowExposed(menu));
    const auto highlighted = [&] {
        QStringList result;
        for (const ThemeMenuRow* row : menu->rows()) {
            if (row->isHighlighted())
                result << rawValue(row->theme());
        }
        return result;
    };
    const auto paintedHighlight = [&](int index) {
        ThemeMenuRow* row = menu->rows().at(index);
        const QImage image = row->grab().toImage();
        return image.pixelColor(2, image.height() / 2) == row->palette().color(QPalette::Highlight);
    };
    QTest::keyClick(menu, Qt::Key_Down);
    QTRY_COMPARE(highlighted(), QStringList { u"System"_qs });
    QVERIFY(paintedHighlight(0));
    QVERIFY(!paintedHighlight(1));
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : menu, Qt::Key_Down);
    QTRY_COMPARE(highlighted(), QStringList { u"Light"_qs });
    QVERIFY(paintedHighlight(1));
    QVERIFY(!paintedHighlight(0));
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : menu, Qt::Key_Return);
    QTRY_COMPARE(editor.view.state().previewTheme, PreviewTheme::light);
    QTRY_VERIFY(!menu->isVisible());
}

void TestSignatureEditor::systemThemeFollowsDesktop()
{
    QTemporaryDir folder;
    Editor editor(copyOfFixture(folder, u"signatures/single-part.mailsignature"_qs));
    const QPalette light = QApplication::palette();
    QCOMPARE(editor.view.systemColorScheme(), ColorScheme::light);
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::WindowText, Qt::white);
    // The desktop turns dark: the editor follows, live.
    QApplication::setPalette(dark);
    QTRY_COMPARE(editor.view.systemColorScheme(), ColorScheme::dark);
    QCOMPARE(editor.view.findChild<PreviewHost*>()->colorScheme(), ColorScheme::dark);
    editor.view.chooseTheme(PreviewTheme::light);
    QCOMPARE(editor.view.findChild<PreviewHost*>()->colorScheme(), ColorScheme::light);
    QApplication::setPalette(light);
    QTRY_COMPARE(editor.view.systemColorScheme(), ColorScheme::light);
    QCOMPARE(editor.view.findChild<PreviewHost*>()->colorScheme(), ColorScheme::light);
}

VELTRIN_PREVIEW_MODULE_TEST_MAIN(TestSignatureEditor)

#include "tst_signatureeditor.moc"
