#include "platform/InodeFileAttributes.h"
#include "store/SignatureReader.h"
#include "platform/NoFollowFileOperations.h"
#include "store/SignatureRewriter.h"
#include "store/SignatureWriter.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace veltrin;

namespace {

const QString plainHeader = QStringLiteral("Content-Transfer-Encoding: 7bit\nContent-Type: "
                                           "text/html;\n\tcharset=utf-8\nMessage-Id: <bench@veltrin.test>\n"
                                           "Mime-Version: 1.0");
const QString quotedPrintableHeader
    = QStringLiteral("Content-Transfer-Encoding: quoted-printable\nContent-Type: "
                     "text/html;\n\tcharset=utf-8\nMime-Version: 1.0");
const QString multipartHeader = QStringLiteral(
    "Content-Transfer-Encoding: 7bit\nContent-Type: multipart/related;\n\ttype=\"text/html\";\n"
    "\tboundary=\"Apple-Mail=_bench\"\nMessage-Id: <bench@veltrin.test>\nMime-Version: 1.0");

// About 2 KB: name, role, contacts, a small inline logo, some non-ASCII text.
QString typicalHtml()
{
    QString html = QStringLiteral(
        "<div style=\"font-family: Helvetica, Arial, sans-serif; font-size: 12px; color: rgb(51, 51, 51);\">"
        "<div><b>Ren\u00E9e M\u00FCller</b> \u2014 Head of Caf\u00E9 Operations</div>"
        "<div>Veltrin Test Ltd. \u00B7 Hauptstra\u00DFe 12 \u00B7 10115 Berlin</div>"
        "<div><a href=\"tel:+4930123456\">+49 30 123456</a> \u00B7 "
        "<a href=\"mailto:renee@veltrin.test\">renee@veltrin.test</a></div>"
        "<div><img alt=\"logo\" style=\"max-width:100%;height:auto\" src=\"data:image/png;base64,");
    html += QString(1200, u'A');
    html += QStringLiteral("\"></div></div>\n");
    return html;
}

// The typical HTML as quoted-printable, with the image as a cid: reference.
QByteArray encodedTypicalHtml()
{
    QString html = typicalHtml();
    html.replace(
        QStringLiteral("data:image/png;base64,") + QString(1200, u'A'), QStringLiteral("cid:photo@bench"));
    return html.toUtf8().toPercentEncoding(" <>/\":;,.()@+-#", "").replace('%', '=');
}

// 4 MiB of HTML, most of it one inline image, as when a large picture is pasted in.
QString largeHtml()
{
    QString html = typicalHtml();
    html += QStringLiteral("<div><img src=\"data:image/jpeg;base64,");
    const qsizetype target = qsizetype(4) << 20;
    html += QString(target - html.size() - 8, u'Q');
    html += QStringLiteral("\"></div>");
    return html;
}

// A multipart signature as Mail writes one: quoted-printable HTML referring to a 4 MiB image part.
QByteArray multipartFile()
{
    QByteArray file = multipartHeader.toUtf8()
        + "\n\n--Apple-Mail=_bench\nContent-Transfer-Encoding: quoted-printable\nContent-Type: text/html;\n"
          "\tcharset=utf-8\n\n"
        + encodedTypicalHtml()
        + "\n--Apple-Mail=_bench\nContent-Transfer-Encoding: base64\nContent-Type: image/jpeg; "
          "name=photo.jpg\n"
          "Content-Id: <photo@bench>\n\n";
    const QByteArray line = QByteArray(76, 'Q') + '\n';
    while (file.size() < (qsizetype(4) << 20))
        file += line;
    return file + "--Apple-Mail=_bench--\n";
}

// Each save is an edit: the text alternates between two versions, as a user's saves do.
void save(benchmark::State& state, QString header, QString html, const QByteArray& initial = {})
{
    if (!initial.isEmpty()) {
        const SignatureContent shown = SignatureReader::parse(QString::fromUtf8(initial));
        header = shown.header;
        html = shown.html;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("work.mailsignature"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(initial.isEmpty() ? SignatureRewriter::composeText(header, html).toUtf8() : initial)
            < 0) {
        state.SkipWithError("can't write the signature file");
        return;
    }
    file.close();
    InodeFileAttributes attributes;
    NoFollowFileOperations files;
    QDateTime now = QDateTime(QDate(2025, 1, 31), QTime(12, 0), Qt::UTC);
    const SignatureWriter writer(files, attributes, [&now] { return now; });
    const QUrl url = QUrl::fromLocalFile(path);
    bool locked = true;
    const QString edited = html + QStringLiteral("<br>");
    bool odd = false;
    for (auto _ : state) {
        now = now.addSecs(1);
        odd = !odd;
        const auto saved = writer.save(url, header, odd ? edited : html);
        if (!saved) {
            state.SkipWithError(saved.error().description.toLocal8Bit().constData());
            break;
        }
        locked = locked && saved->locked;
        // Keeps the disk from filling up with copies; not part of a save.
        state.PauseTiming();
        QFile::remove(saved->backupFile.toLocalFile());
        state.ResumeTiming();
    }
    (void)attributes.clearImmutable(path);
    state.counters["locked"] = locked ? 1 : 0;
    state.SetBytesProcessed(int64_t(state.iterations()) * html.toUtf8().size());
}

void compose(benchmark::State& state, const QString& header, const QString& html)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(SignatureRewriter::composeText(header, html).toUtf8());
    state.SetBytesProcessed(int64_t(state.iterations()) * html.toUtf8().size());
}

} // namespace

BENCHMARK_CAPTURE(save, typical_plain, plainHeader, typicalHtml())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(save, typical_quoted_printable, quotedPrintableHeader, typicalHtml())
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(save, large_4MiB_plain, plainHeader, largeHtml())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(save, large_4MiB_quoted_printable, quotedPrintableHeader, largeHtml())
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(save, large_4MiB_multipart, multipartHeader, largeHtml())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(save, large_4MiB_multipart_image_part, QString(), QString(), multipartFile())
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(compose, large_4MiB_quoted_printable, quotedPrintableHeader, largeHtml())
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
