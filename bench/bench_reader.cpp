#include "store/QuotedPrintable.h"
#include "store/SignatureFile.h"
#include "store/SignatureReader.h"
#include "store/SignatureRewriter.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace veltrin;
using namespace Qt::StringLiterals;

namespace {

// Quoted-printable HTML as mail programs write it: 76-character lines ending in soft breaks,
// "=3D" in attributes and accented letters as UTF-8 escapes, about one escape per twenty characters.
QString typicalQuotedPrintableHtml(qsizetype size)
{
    const QStringList fragments = {
        u"<div style=3D\"font-family: Helvetica, Arial; font-size: 13px;\">"_s,
        u"Ren=C3=A9 M=C3=BCller =E2=80=93 Head of Sales</div>"_s,
        u"<a href=3D\"https://veltrin.example/team/rene\">veltrin.example</a> "_s,
        u"<span style=3D\"color: #336699;\">Caf=C3=A9 au lait, S=C3=A3o Paulo</span>"_s,
        u"<p>Phone +49 30 1234 5678 &middot; Stra=C3=9Fe 12, 10115 Berlin</p>"_s,
    };
    QString text;
    text.reserve(size + 200);
    qsizetype lineLength = 0;
    for (qsizetype i = 0; text.size() < size; ++i) {
        const QString& fragment = fragments[i % fragments.size()];
        for (qsizetype start = 0; start < fragment.size();) {
            qsizetype take = std::min<qsizetype>(75 - lineLength, fragment.size() - start);
            // Never cut an escape at the soft break.
            while (take > 0 && take < fragment.size() - start
                   && (fragment[start + take - 1] == u'=' || (take > 1 && fragment[start + take - 2] == u'=')))
                --take;
            if (take == 0) {
                text += u"=\n"_s;
                lineLength = 0;
                continue;
            }
            text += QStringView(fragment).sliced(start, take);
            start += take;
            lineLength += take;
            if (lineLength >= 75) {
                text += u"=\n"_s;
                lineLength = 0;
            }
        }
    }
    return text;
}

QString base64Lines(qsizetype bytes)
{
    QByteArray data(bytes, Qt::Uninitialized);
    QRandomGenerator generator(42);
    for (char& c : data)
        c = char(generator.bounded(256));
    const QByteArray encoded = data.toBase64();
    QString lines;
    lines.reserve(encoded.size() + encoded.size() / 76 * 2 + 2);
    for (qsizetype i = 0; i < encoded.size(); i += 76)
        lines += QString::fromLatin1(encoded.mid(i, 76)) + u"\r\n"_s;
    return lines;
}

// A 4 MB multipart/related signature: quoted-printable HTML referring to three Base64 images,
// one of them through an OBJECT element.
QByteArray multipartSignature()
{
    const QString boundary = u"Veltrin-Boundary=_5E1D"_s;
    QString text = u"Content-Type: multipart/related;\n\ttype=\"text/html\";\n\tboundary=\""_s + boundary
        + u"\"\nMime-Version: 1.0\n\n"_s;
    text += u"--"_s + boundary + u"\nContent-Transfer-Encoding: quoted-printable\nContent-Type: text/html;\n\tcharset=utf-8\n\n"_s;
    text += typicalQuotedPrintableHtml(200'000);
    text += u"<img src=3D\"cid:photo@veltrin\"><img src=3D\"cid:logo@veltrin\">=\n"
            u"<object type=3D\"image/png\" data=3D\"cid:banner@veltrin\"></object>\n"_s;
    const QStringList ids = {u"photo@veltrin"_s, u"logo@veltrin"_s, u"banner@veltrin"_s};
    for (const QString& id : ids) {
        text += u"--"_s + boundary + u"\nContent-Transfer-Encoding: base64\nContent-Type: image/png;\n\tname=\"image.png\"\n"
                                      u"Content-Id: <"_s
            + id + u">\n\n"_s + base64Lines(940'000);
    }
    text += u"--"_s + boundary + u"--\n"_s;
    return text.toUtf8();
}

void BM_DecodeQuotedPrintable(benchmark::State& state)
{
    const QString text = typicalQuotedPrintableHtml(10'000'000);
    const qsizetype escapes = text.count(u'=') - text.count(u"=\n"_s);
    for (auto _ : state) {
        QString decoded = decodeQuotedPrintable(text);
        benchmark::DoNotOptimize(decoded.constData());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size());
    state.counters["chars_per_escape"] = double(text.size()) / double(escapes);
}
BENCHMARK(BM_DecodeQuotedPrintable)->Unit(benchmark::kMillisecond);

// The floor: copying the same 10 MB of text into a new QString.
void BM_CopyQString(benchmark::State& state)
{
    const QString text = typicalQuotedPrintableHtml(10'000'000);
    for (auto _ : state) {
        QString copy(text.constData(), text.size());
        benchmark::DoNotOptimize(copy.constData());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size());
}
BENCHMARK(BM_CopyQString)->Unit(benchmark::kMillisecond);

void BM_LoadContentMultipart(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"bench.mailsignature"_s);
    const QByteArray bytes = multipartSignature();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        state.SkipWithError("cannot write the signature file");
        return;
    }
    file.close();

    SignatureFile signature;
    signature.filePath = QUrl::fromLocalFile(path);
    const auto first = signature.loadContent();
    if (!first || first->html.count(u"data:image/png;base64,"_s) != 3 || first->html.contains(u"<object"_s)) {
        state.SkipWithError("the images were not inlined");
        return;
    }
    for (auto _ : state) {
        auto content = signature.loadContent();
        benchmark::DoNotOptimize(content->html.constData());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
    state.counters["file_MB"] = double(bytes.size()) / 1e6;
}
BENCHMARK(BM_LoadContentMultipart)->Unit(benchmark::kMillisecond);

// The same without reading and decoding the file.
void BM_ParseMultipart(benchmark::State& state)
{
    const QString text = QString::fromUtf8(multipartSignature());
    for (auto _ : state) {
        SignatureContent content = SignatureReader::parse(text);
        benchmark::DoNotOptimize(content.html.constData());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size());
}
BENCHMARK(BM_ParseMultipart)->Unit(benchmark::kMillisecond);

void BM_DecodeUtf8(benchmark::State& state)
{
    const QByteArray bytes = multipartSignature();
    for (auto _ : state) {
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        QString text = decoder.decode(bytes);
        benchmark::DoNotOptimize(text.constData());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}
BENCHMARK(BM_DecodeUtf8)->Unit(benchmark::kMillisecond);

// A multipart signature with N small images, each referred to once by an img element and
// every tenth also by an OBJECT element: the read must take time in proportion to N.
QString manyImagesSignature(int count)
{
    const QString boundary = u"Many-Images=_9"_s;
    QString html;
    QString parts;
    const QString pixel = QString::fromLatin1(QByteArray(60, '\x7f').toBase64());
    for (int i = 0; i < count; ++i) {
        const QString id = u"img"_s + QString::number(i) + u"@veltrin"_s;
        html += u"<img src=\"cid:"_s + id + u"\">"_s;
        if (i % 10 == 0)
            html += u"<object type=\"image/png\" data=\"cid:"_s + id + u"\"></object>"_s;
        if (i % 8 == 7)
            html += u"\n"_s;
        parts += u"--"_s + boundary + u"\nContent-Transfer-Encoding: base64\nContent-Type: image/png\nContent-Id: <"_s
            + id + u">\n\n"_s + pixel + u"\n"_s;
    }
    return u"Content-Type: multipart/related;\n\tboundary=\""_s + boundary + u"\"\nMime-Version: 1.0\n\n--"_s
        + boundary + u"\nContent-Type: text/html; charset=utf-8\n\n<p>"_s + html + u"</p>\n"_s + parts + u"--"_s
        + boundary + u"--\n"_s;
}

void BM_ParseManyImages(benchmark::State& state)
{
    const QString text = manyImagesSignature(int(state.range(0)));
    for (auto _ : state) {
        SignatureContent content = SignatureReader::parse(text);
        if (!content.html.startsWith(u"<p><img src=\"data:image/png;base64,"_s))
            state.SkipWithError("images were not put in");
        benchmark::DoNotOptimize(content.html.constData());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ParseManyImages)->RangeMultiplier(10)->Range(100, 10'000)->Complexity()->Unit(benchmark::kMillisecond);

// Its counterpart in a save: the edited HTML back into the file, every image a cid: again.
void BM_ComposeManyImages(benchmark::State& state)
{
    const QString text = manyImagesSignature(int(state.range(0)));
    const QByteArray old = text.toUtf8();
    const SignatureContent content = SignatureReader::parse(text);
    const QString edited = content.html + u"<p>edited</p>"_s;
    for (auto _ : state) {
        const QByteArray bytes = SignatureRewriter::composeFile(content.header, edited, old);
        if (!bytes.contains("<p><img src=\"cid:img0@veltrin\">"))
            state.SkipWithError("references were not put back");
        benchmark::DoNotOptimize(bytes.constData());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ComposeManyImages)->RangeMultiplier(10)->Range(100, 10'000)->Complexity()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
