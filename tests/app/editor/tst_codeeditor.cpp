#include "app/editor/CodeEditor.h"
#include "app/editor/DraftSplicer.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

using namespace veltrin;

namespace {

// The code editor on screen with a draft kept the way the editor keeps it.
struct Code {
    CodeEditor editor;
    QString draft;

    explicit Code(const QString& loaded, int width = 600)
        : draft(loaded)
    {
        QObject::connect(
            &editor, &CodeEditor::draftEdited, &editor, [this](const DraftSplicer::Splice& splice) {
                draft.replace(splice.position, splice.removed, splice.inserted);
            });
        editor.showDraft(loaded);
        editor.resize(width, 400);
        editor.show();
        editor.setFocus();
    }

    void placeCursor(int position)
    {
        QTextCursor cursor = editor.textCursor();
        cursor.setPosition(position);
        editor.setTextCursor(cursor);
    }
};

} // namespace

class TestCodeEditor final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void typeAndTypeAway_data();
    void typeAndTypeAway();
    void newLinesTakeTheFilesBreak_data();
    void newLinesTakeTheFilesBreak();
    void randomEditsMatchTheDocument();
    void lineSpacingInPixels();
};

void TestCodeEditor::typeAndTypeAway_data()
{
    QTest::addColumn<QString>("loaded");
    QTest::addColumn<int>("position"); // in the document
    QTest::addRow("mixed CR LF and LF, start") << u"<p>a</p>\r\n<p>b</p>\n<p>c</p>\r\n"_qs << 0;
    QTest::addRow("mixed, after a CR LF") << u"<p>a</p>\r\n<p>b</p>\n<p>c</p>\r\n"_qs << 9;
    QTest::addRow("mixed, at the end") << u"<p>a</p>\r\n<p>b</p>\n<p>c</p>\r\n"_qs << 27;
    QTest::addRow("lone CR") << u"<p>a</p>\r<p>b</p>\r\n<p>c</p>"_qs << 12;
    QTest::addRow("paragraph separator") << u"<p>a</p>\u2029<p>b</p>\n<br>\r"_qs << 3;
    QTest::addRow("CR LF only") << u"<div>\r\n  x\r\n</div>\r\n"_qs << 8;
    QTest::addRow("no break") << u"<b>bold</b>"_qs << 5;
    QTest::addRow("empty") << QString() << 0;
}

// A letter typed and deleted again, or a break deleted and typed again, gives back exactly the
// loaded text, whatever breaks it holds elsewhere.
void TestCodeEditor::typeAndTypeAway()
{
    QFETCH(QString, loaded);
    QFETCH(int, position);
    Code code(loaded);
    QCOMPARE(code.editor.document()->toRawText(), DraftSplicer::shownText(loaded));

    code.placeCursor(position);
    QTest::keyClicks(&code.editor, u"x"_qs);
    QString expected = loaded;
    // Every break before the cursor is one character in the document; CR LF is two in the draft.
    int draftPosition = 0;
    for (int shown = 0; shown < position; ++shown, ++draftPosition) {
        if (loaded.mid(draftPosition, 2) == u"\r\n")
            ++draftPosition;
    }
    expected.insert(draftPosition, u'x');
    QCOMPARE(code.draft, expected);
    QTest::keyClick(&code.editor, Qt::Key_Backspace);
    QCOMPARE(code.draft, loaded);

    // Undo and redo go through the same path.
    QTest::keyClicks(&code.editor, u"yz"_qs);
    code.editor.undo();
    QCOMPARE(code.draft, loaded);
    code.editor.redo();
    QVERIFY(code.draft != loaded);
    code.editor.undo();
    QCOMPARE(code.draft, loaded);
}

void TestCodeEditor::newLinesTakeTheFilesBreak_data()
{
    QTest::addColumn<QString>("loaded");
    QTest::addColumn<QString>("expected");
    QTest::addRow("CR LF only") << u"a\r\nb"_qs << u"a\r\n\r\nb"_qs;
    QTest::addRow("LF") << u"a\nb"_qs << u"a\n\nb"_qs;
    QTest::addRow("mixed") << u"a\nb\r\nc"_qs << u"a\n\nb\r\nc"_qs;
    QTest::addRow("none") << u"ab"_qs << u"a\nb"_qs;
}

void TestCodeEditor::newLinesTakeTheFilesBreak()
{
    QFETCH(QString, loaded);
    QFETCH(QString, expected);
    Code code(loaded);
    code.placeCursor(1);
    QTest::keyClick(&code.editor, Qt::Key_Return);
    QCOMPARE(code.draft, expected);
    // The break deleted and typed again in a CR LF file is its old self.
    QTest::keyClick(&code.editor, Qt::Key_Backspace);
    QCOMPARE(code.draft, loaded);
}

// Edits of every kind, one after the other: the draft always reads as the document does, and
// the breaks nobody touched keep their form.
void TestCodeEditor::randomEditsMatchTheDocument()
{
    const QString loaded = u"<table>\r\n<tr>\n<td>Zo\u00eb</td>\r<td>\u2029</td>\r\n</tr>\n\n</table>\r\n"_qs;
    Code code(loaded);
    QRandomGenerator random(12);
    const QStringList pieces { u"x"_qs, u"\n"_qs, u"<br>"_qs, u"\u00e9\n\u00e8"_qs, u"\r\n"_qs,
        u"\u2028"_qs };
    for (int step = 0; step < 300; ++step) {
        QTextCursor cursor(code.editor.document());
        const int length = code.editor.document()->characterCount() - 1;
        const int at = int(random.bounded(length + 1));
        cursor.setPosition(at);
        switch (random.bounded(4)) {
        case 0:
            cursor.insertText(pieces.at(random.bounded(pieces.size())));
            break;
        case 1:
            cursor.setPosition(qMin(length, at + int(random.bounded(6))), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
            break;
        case 2:
            cursor.setPosition(qMin(length, at + int(random.bounded(4))), QTextCursor::KeepAnchor);
            cursor.insertText(pieces.at(random.bounded(pieces.size())));
            break;
        default:
            code.editor.undo();
            break;
        }
        QCOMPARE(DraftSplicer::shownText(code.draft), code.editor.document()->toRawText());
    }
    // Undone to the start: the loaded text exactly.
    while (code.editor.document()->isUndoAvailable())
        code.editor.undo();
    QCOMPARE(code.draft, loaded);
}

// Four pixels more between lines than the font's own line spacing, between paragraphs and
// between the wrapped lines of one paragraph alike.
void TestCodeEditor::lineSpacingInPixels()
{
    const QString wrapped(400, u'w');
    Code code(u"first\nsecond\n"_qs + wrapped + u"\nlast"_qs, 300);
    QPlainTextEdit plain;
    plain.setFont(code.editor.font());
    plain.setPlainText(code.editor.toPlainText());
    plain.resize(300, 400);
    plain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&code.editor));

    const auto lineTop = [](QPlainTextEdit& edit, int position) {
        QTextCursor cursor(edit.document());
        cursor.setPosition(position);
        return edit.cursorRect(cursor).top();
    };
    const int plainPitch = lineTop(plain, 6) - lineTop(plain, 0);
    QVERIFY(plainPitch > 0);
    QCOMPARE(lineTop(code.editor, 6) - lineTop(code.editor, 0), plainPitch + CodeEditor::lineSpacing);
    QCOMPARE(lineTop(code.editor, 13) - lineTop(code.editor, 6), plainPitch + CodeEditor::lineSpacing);

    // Inside the long paragraph: the first position of its second visual line.
    const QTextBlock block = code.editor.document()->findBlockByNumber(2);
    QVERIFY(block.layout()->lineCount() > 2);
    const int secondLine = block.position() + block.layout()->lineAt(1).textStart();
    QCOMPARE(lineTop(code.editor, secondLine) - lineTop(code.editor, block.position()),
        plainPitch + CodeEditor::lineSpacing);
    QCOMPARE(code.editor.document()->documentLayout()->blockBoundingRect(block).height(),
        block.layout()->lineCount() * (block.layout()->lineAt(0).height() + CodeEditor::lineSpacing));

    // A click between two lines' glyphs lands on one of them, never elsewhere.
    const QRect first = code.editor.cursorRect(QTextCursor(code.editor.document()));
    QCOMPARE(code.editor.cursorForPosition(QPoint(first.left() + 1, first.center().y())).blockNumber(), 0);

    // The font shows every glyph at the same advance.
    const QFontMetricsF metrics(code.editor.font());
    QCOMPARE(metrics.horizontalAdvance(u'i'), metrics.horizontalAdvance(u'W'));
}

QTEST_MAIN(TestCodeEditor)

#include "tst_codeeditor.moc"
