#pragma once

#include <QList>
#include <QString>

namespace veltrin {

// Keeps the code editor's document and the draft it edits apart. The document knows one kind of
// line break; the draft keeps each break in the form it was loaded with (LF, CR LF, lone CR,
// U+2029), and only what the user changed is written into it.
class DraftSplicer final {
public:
    // One change, in the draft's positions: replace `removed` characters at `position` by `inserted`.
    struct Splice {
        qsizetype position = 0;
        qsizetype removed = 0;
        QString inserted;
        friend bool operator==(const Splice&, const Splice&) = default;
    };

    // The text a QTextDocument holds after setPlainText(draft), its breaks as U+2029.
    static QString shownText(const QString& draft);

    void reset(const QString& draft);
    const QString& draft() const { return m_draft; }
    const QString& shown() const { return m_shown; }

    // A change of the document (as QTextDocument::contentsChange reports it, with the added
    // characters read back from the document) turned into the draft's change, which is applied
    // to draft() too. Parts that the document reports as replaced but that read the same are
    // left out, so their breaks stay.
    Splice apply(qsizetype position, qsizetype removed, const QString& added);

private:
    qsizetype draftPosition(qsizetype shownPosition) const;

    QString m_draft;
    QString m_shown;
    // Shown positions of the breaks that are two characters (CR LF) in the draft, ascending.
    QList<qsizetype> m_crLfAt;
    // The break a new line gets: CR LF in a file that uses nothing else, LF otherwise.
    QString m_newBreak;
    // Recently removed stretches whose breaks were not of the new kind, so that an undo that puts
    // one back at its place gets its old breaks back.
    struct Removal {
        qsizetype position;
        QString shown;
        QString draft;
    };
    QList<Removal> m_removals;
};

} // namespace veltrin
