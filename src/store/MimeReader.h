#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace veltrin {

// One part of a multipart body.
struct MIMEPart {
    // Header name in lower case as written before the colon (not trimmed) -> value trimmed of
    // spaces and tabs, continuation lines joined on; a repeated name keeps the later value.
    QHash<QString, QString> headers;
    // Everything after the part's first blank line, up to the next delimiter, unchanged.
    QString body;
};

// The same parts with each body as a view into `body`, for readers that copy only what they keep.
struct MIMEPartView {
    QHash<QString, QString> headers;
    QStringView body;
    // The part's header block as written, before its blank line.
    QStringView headerText;
};
QList<MIMEPartView> parseMIMEPartViews(QStringView body, QStringView boundary);

// The boundary parameter of an assembled Content-Type line, quotes removed; only a parameter
// that follows a ";" counts.
std::optional<QString> extractBoundary(const QString& contentTypeLine);
// Any parameter found the same way, by its name in lower case ("charset").
std::optional<QString> extractParameter(const QString& contentTypeLine, QLatin1StringView lowerName);

// The first blank line: two line feeds, or carriage return and line feed twice over, whichever
// comes first. Position and length of those characters, or a negative position.
struct BlankLine {
    qsizetype position = -1;
    qsizetype length = 0;
};
BlankLine findBlankLine(QStringView text);

// Cuts a body at every "--" + boundary and reads each section's header block; sections that are
// blank, follow the closing delimiter or hold no blank line are left out.
QList<MIMEPart> parseMIMEParts(const QString& body, const QString& boundary);

// The first header line whose lower-case form contains "content-type:", with the continuation
// lines that directly follow it appended as written (a carriage return and line feed end one line).
std::optional<QString> findContentTypeLine(const QString& header);

// The Content-Type line names a multipart type and carries a boundary that can be found.
bool declaresMultipart(const QString& header);

// Some single header line names both "content-transfer-encoding:" and "quoted-printable"
// (a value folded onto a continuation line does not count).
bool declaresQuotedPrintable(const QString& header);

// Character classes of the signature format.
// White space: Unicode white space (spaces, tabs, line breaks and the like).
bool isWhiteSpace(QChar c);
// What "trimmed of spaces and tabs" removes: U+0009 and the Unicode space separators.
bool isSpaceOrTab(QChar c);
// U+000A to U+000D, U+0085, U+2028 and U+2029.
bool isLineBreak(QChar c);
QStringView trimmedOfSpacesAndTabs(QStringView text);
// Cut at every single line-break character, so CR LF yields an empty line between the two.
QList<QStringView> splitLines(QStringView text);

// First occurrence of `needle` at or after `from`, found by scanning for the character at
// `anchor` in the needle; fast when that character is rare in the text (":" or "-" in Base64).
qsizetype indexOfAnchored(QStringView text, QStringView needle, qsizetype anchor, qsizetype from = 0);

} // namespace veltrin
