// The editor's main-thread cost per keystroke in the code editor and per change of the
// selected signature, on a signature of about 200 KB (markup plus an inline image).

#include "app/editor/DraftSplicer.h"
#include "app/editor/PreviewModule.h"
#include "preview/HTMLPreviewView.h"
#include "app/editor/SignatureEditorDetailView.h"
#include "platform/InodeFileAttributes.h"
#include "platform/NoFollowFileOperations.h"
#include "platform/ProcRunningApplications.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>

#include <benchmark/benchmark.h>

#include <unistd.h>

using namespace veltrin;

namespace {

// A multipart signature: about 24 KB of markup and a 130 KB image, which becomes a
// 175 KB data: address in the HTML.
QByteArray bigSignature(int seed)
{
    QByteArray markup;
    for (int i = 0; markup.size() < 24'000; ++i)
        markup += "<tr><td style=3D\"padding: 2px 8px; color: #333333;\">Line " + QByteArray::number(i + seed)
            + " of the signature =C2=B7 Z=C3=B6e</td></tr>\n";
    QByteArray image(130'000, '\0');
    QRandomGenerator random { quint32(seed) };
    random.fillRange(reinterpret_cast<quint32*>(image.data()), image.size() / 4);
    QByteArray encoded = image.toBase64();
    QByteArray wrapped;
    for (qsizetype at = 0; at < encoded.size(); at += 76)
        wrapped += encoded.mid(at, 76) + '\n';
    return "Content-Type: multipart/related;\n\ttype=\"text/html\";\n\tboundary=\"B\"\nMime-Version: 1.0\n\n"
           "--B\nContent-Transfer-Encoding: quoted-printable\nContent-Type: text/html;\n\tcharset=utf-8\n\n"
           "<html><body><table>\n"
        + markup
        + "</table><img src=3D\"cid:logo\"></body></html>\n"
          "--B\nContent-Transfer-Encoding: base64\nContent-Type: image/png\nContent-Id: <logo>\n\n"
        + wrapped + "--B--\n";
}

struct Fixture {
    QTemporaryDir folder;
    SignatureFile first;
    SignatureFile second;

    Fixture()
    {
        first = write(u"First"_qs, 1);
        second = write(u"Second"_qs, 2);
    }

    SignatureFile write(const QString& name, int seed) const
    {
        const QString path = folder.filePath(name + u".mailsignature");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bigSignature(seed)) < 0)
            qFatal("cannot write the benchmark's signature");
        SignatureFile signature;
        signature.id = QUuid::createUuid();
        signature.displayName = name;
        signature.fileName = name + u".mailsignature";
        signature.filePath = QUrl::fromLocalFile(path);
        signature.parentFolderURL = QUrl::fromLocalFile(folder.path());
        return signature;
    }
};

Fixture& fixture()
{
    static Fixture instance;
    return instance;
}

void keystrokes(benchmark::State& state, bool inImageLine)
{
    ProcRunningApplications running;
    NoFollowFileOperations files;
    InodeFileAttributes attributes;
    const SignatureStorage storage(files, attributes);
    SignatureEditorDetailView editor(running, storage);
    editor.setSignature(fixture().first);
    editor.resize(1000, 700);
    editor.show();
    editor.setViewMode(ViewMode::code);
    QCoreApplication::processEvents();
    auto* code = editor.findChild<QPlainTextEdit*>(u"codeEditor"_qs);
    QTextBlock block = code->document()->findBlockByNumber(150);
    if (inImageLine) {
        // The line holding the inline image's data: address, as one long paragraph.
        for (QTextBlock candidate = code->document()->firstBlock(); candidate.isValid();
             candidate = candidate.next())
            if (candidate.length() > block.length())
                block = candidate;
    }
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, block.length() / 2);
    state.counters["htmlBytes"] = double(editor.state().htmlDraft.size());
    state.counters["lineBytes"] = double(block.length());
    bool insert = true;
    for (auto _ : state) {
        if (insert)
            cursor.insertText(u"x"_qs);
        else
            cursor.deletePreviousChar();
        insert = !insert;
        benchmark::DoNotOptimize(editor.state().htmlDraft.size());
    }
    if (editor.state().htmlDraft.size() < 150'000)
        state.SkipWithError("the signature did not load");
}

// One keystroke in the middle of the markup: the document's edit, the draft read back,
// the derived values, the footer with its Mail probe (the real /proc scan).
void BM_KeystrokeInCodeEditor(benchmark::State& state)
{
    keystrokes(state, false);
}
BENCHMARK(BM_KeystrokeInCodeEditor)->Unit(benchmark::kMillisecond);

// The same inside the image's long line: the text layout of that paragraph is the toolkit's.
void BM_KeystrokeInImageLine(benchmark::State& state)
{
    keystrokes(state, true);
}
BENCHMARK(BM_KeystrokeInImageLine)->Unit(benchmark::kMillisecond);

// The parts of a keystroke that are ours, one by one.
void BM_UnsavedChangesOn200KB(benchmark::State& state)
{
    SignatureEditorDetailView::State editorState;
    const auto content = fixture().first.loadContent();
    editorState.originalBody = content->html;
    editorState.htmlDraft = content->html;
    editorState.htmlDraft.insert(content->html.size() / 10, u"x");
    for (auto _ : state)
        benchmark::DoNotOptimize(SignatureEditorDetailView::hasUnsavedChanges(editorState));
}
BENCHMARK(BM_UnsavedChangesOn200KB)->Unit(benchmark::kMicrosecond);

// A keystroke spliced into the 200 KB draft: the document's change mapped onto the draft.
void BM_DraftSplice(benchmark::State& state)
{
    DraftSplicer splicer;
    splicer.reset(fixture().first.loadContent()->html);
    const qsizetype at = splicer.shown().size() / 10;
    bool insert = true;
    for (auto _ : state) {
        const auto splice = insert ? splicer.apply(at, 0, u"x"_qs) : splicer.apply(at, 1, QString());
        benchmark::DoNotOptimize(splice.position);
        insert = !insert;
    }
}
BENCHMARK(BM_DraftSplice)->Unit(benchmark::kMicrosecond);

void BM_MailProbe(benchmark::State& state)
{
    ProcRunningApplications running;
    for (auto _ : state)
        benchmark::DoNotOptimize(running.runningCount(u"com.apple.mail"_qs));
}
BENCHMARK(BM_MailProbe)->Unit(benchmark::kMicrosecond);

// Picking the other signature: the load (read, MIME, decoding) and the page built and handed
// to the web engine; the engine's own rendering runs elsewhere and is not counted.
void BM_SwitchSelection(benchmark::State& state)
{
    ProcRunningApplications running;
    NoFollowFileOperations files;
    InodeFileAttributes attributes;
    const SignatureStorage storage(files, attributes);
    SignatureEditorDetailView editor(running, storage);
    editor.setSignature(fixture().first);
    editor.resize(1000, 700);
    editor.show();
    QCoreApplication::processEvents();
    SignatureFile first = fixture().first;
    SignatureFile second = fixture().second;
    bool toSecond = true;
    for (auto _ : state) {
        SignatureFile& next = toSecond ? second : first;
        next.id = QUuid::createUuid(); // as picked from a fresh row
        editor.setSignature(next);
        toSecond = !toSecond;
    }
    if (editor.state().saveError)
        state.SkipWithError(qPrintable(*editor.state().saveError));
}
BENCHMARK(BM_SwitchSelection)->Unit(benchmark::kMillisecond);

void BM_PageText(benchmark::State& state)
{
    const QString html = fixture().first.loadContent()->html;
    for (auto _ : state)
        benchmark::DoNotOptimize(HTMLPreviewView::pageText(html, ColorScheme::dark).size());
}
BENCHMARK(BM_PageText)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    PreviewModule::setSearchPaths({QStringLiteral(VELTRIN_PREVIEW_MODULE_BUILD_DIR)});
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
