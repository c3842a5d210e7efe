#pragma once

#include "SignatureFile.h"

namespace veltrin {

class FileOperations;

// Where the HTML that a read shows stands in the file, so that a save can put an edited HTML
// back in its place and keep the rest of the file as it was.
struct SignatureLayout {
    enum class Source {
        WholeText, // no blank line: the HTML is the whole text
        Body, // a single-part body
        HtmlPart, // the body of the first text/html part
        WholeMultipartBody, // a multipart body without a text/html part, shown as it is
    };
    struct Image {
        QString contentId;
        QString address;
    };

    SignatureContent content;
    Source source = Source::WholeText;
    // The blank line after the header block as written ("\n\n" or "\r\n\r\n"); empty when none.
    QString separator;
    // What the HTML was read from, as positions in the text.
    qsizetype sourceStart = 0;
    qsizetype sourceEnd = 0;
    // The header block that describes the source: the file's, or the HTML part's.
    qsizetype headerStart = 0;
    qsizetype headerEnd = 0;
    // Declared transfer encoding in lower case, and character set as written; empty when none.
    QString transferEncoding;
    QString charset;
    // The source was quoted-printable and decoded.
    bool quotedPrintable = false;
    // Images put into the HTML as data: addresses, in the order they were put in.
    QList<Image> images;
};

// Reads .mailsignature files into their header block and displayable HTML.
class SignatureReader final {
public:
    // The largest file read: signatures with images run to a few megabytes.
    static constexpr qint64 maxFileSize = qint64(64) * 1024 * 1024;

    static std::expected<SignatureContent, Error> read(const QUrl& filePath, const FileOperations& files);
    // The same, on text already read.
    static SignatureContent parse(const QString& text);
    // The same, with where each piece came from.
    static SignatureLayout layout(const QString& text);
    // For a single-part file whose header block is already in the layout: source, transfer
    // encoding, character set and quoted-printable, from the header and its Content-Type line.
    static void readBodyDeclarations(SignatureLayout& layout, const std::optional<QString>& contentTypeLine);
    // Whether a part body is Base64 that decodes: line breaks anywhere, spaces and tabs at the
    // ends, "=" padding only at the end.
    static bool isBase64(QStringView body);
};

} // namespace veltrin
