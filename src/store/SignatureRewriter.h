#pragma once

#include <QByteArray>
#include <QString>

namespace veltrin {

// Turns an edited HTML back into the text of a .mailsignature file, the counterpart of
// SignatureReader: what it gives reads back as the HTML it was given. Pure: no files.
class SignatureRewriter final {
public:
    // The file's text: header, a blank line and the HTML ending in a line feed, with
    // header and body brought into agreement so that reading the text again gives the HTML.
    static QString composeText(const QString& header, const QString& html);
    // The bytes to write when the file held `old` before: the same shape, parts, encodings,
    // character set and line ends, with only the HTML replaced (a text the reader shows
    // unchanged gives `old` back). Without a usable old text, composeText().
    static QByteArray composeFile(const QString& header, const QString& html, const QByteArray& old);
    // A multipart header block turned into one that declares the single-part UTF-8 HTML
    // body: every header that describes the body is replaced, all others stay as written.
    static QString singlePartHeader(const QString& header);
};

} // namespace veltrin
