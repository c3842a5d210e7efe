#include "store/SignatureFile.h"
#include "store/SignatureRewriter.h"
#include "store/SignatureWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QUrl>

#include <cstddef>
#include <cstdint>

// Goes through the real file path, so that reading and the UTF-8 check are fuzzed too.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString path = QDir::temp().filePath(
        QStringLiteral("veltrin-fuzz-%1.mailsignature").arg(QCoreApplication::applicationPid()));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();

    veltrin::SignatureFile signature;
    signature.filePath = QUrl::fromLocalFile(path);
    const auto content = signature.loadContent();
    if (content && content->header.size() + content->html.size() > qsizetype(size) * 4 + 64) {
        // Only inline images may grow the HTML; anything larger than this is a runaway.
        if (!content->html.contains(u"data:"))
            __builtin_trap();
    }
    if (content) {
        const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
        // A text the user left alone is written back as it was.
        if (veltrin::SignatureRewriter::composeFile(content->header, content->html, bytes) != bytes)
            __builtin_trap();
        (void)veltrin::SignatureRewriter::composeFile(
            content->header, content->html + u"<p>\u00E9=41</p>", bytes);
    }
    return 0;
}
