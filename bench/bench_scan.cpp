// One scan of a signatures folder: property lists, listing, sorting, publishing.
#include "platform/BookmarkFolderAccess.h"
#include "platform/FolderPanel.h"
#include "platform/Preferences.h"
#include "store/MailPropertyLists.h"
#include "platform/InodeFileAttributes.h"
#include "platform/NoFollowFileOperations.h"
#include "store/SignatureService.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>

#include <plist/plist.h>

#include <cstdlib>
#include <memory>

using namespace veltrin;
using namespace Qt::StringLiterals;

namespace {

class MemoryPreferences final : public Preferences {
public:
    QVariant object(const QString& key) const override { return m_values.value(key); }
    void set(const QString& key, const QVariant& value) override { m_values.insert(key, value); }
    void remove(const QString& key) override { m_values.remove(key); }

private:
    QHash<QString, QVariant> m_values;
};

class NoPanel final : public FolderPanel {
public:
    void begin(const FolderPanelOptions&, Completion) override {}
};

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        std::abort();
}

QByteArray serialise(plist_t root, bool binary)
{
    char* out = nullptr;
    uint32_t length = 0;
    if (binary)
        plist_to_bin(root, &out, &length);
    else
        plist_to_xml(root, &out, &length);
    QByteArray bytes(out, qsizetype(length));
    if (binary)
        plist_to_bin_free(out);
    else
        plist_to_xml_free(out);
    plist_free(root);
    return bytes;
}

// A folder like Mail's: n signature files, both property lists naming all of them (ten
// accounts sharing the signatures), and a few files the scan passes over.
struct SignatureFolder {
    QTemporaryDir dir;

    SignatureFolder(int count, bool binary)
    {
        const QDir folder(dir.path());
        const QByteArray content = "Content-Transfer-Encoding: quoted-printable\nContent-Type: text/html;\n\tcharset=utf-8\n"
                                   "Message-Id: <x@y>\nMime-Version: 1.0 (Mac OS X Mail 16.0)\n\n<div>Kind regards</div>\n";
        plist_t names = plist_new_array();
        plist_t accounts = plist_new_dict();
        plist_t accountSignatures[10];
        for (int a = 0; a < 10; ++a) {
            plist_t account = plist_new_dict();
            plist_dict_set_item(account, "AccountURL",
                                plist_new_string(qPrintable(u"imap://user%1%40example.org@imap.example.org:993/"_s.arg(a))));
            accountSignatures[a] = plist_new_array();
            plist_dict_set_item(account, "Signatures", accountSignatures[a]);
            plist_dict_set_item(accounts, qPrintable(u"ACCOUNT-%1"_s.arg(a)), account);
        }
        for (int i = 0; i < count; ++i) {
            const QString id = u"%1-4C7B-9A4E-B2D1-%2"_s.arg(i, 8, 16, QChar(u'0')).arg(count - i, 12, 10, QChar(u'0')).toUpper();
            writeBytes(folder.filePath(id + u".mailsignature"_s), content);
            plist_t entry = plist_new_dict();
            plist_dict_set_item(entry, "SignatureIsRich", plist_new_bool(1));
            plist_dict_set_item(entry, "SignatureName", plist_new_string(qPrintable(u"Signatur %1 \u00FC"_s.arg((i * 7919) % count))));
            plist_dict_set_item(entry, "SignatureUniqueId", plist_new_string(qPrintable(id)));
            plist_array_append_item(names, entry);
            plist_array_append_item(accountSignatures[i % 10], plist_new_string(qPrintable(id)));
        }
        writeBytes(folder.filePath(u"AllSignatures.plist"_s), serialise(names, binary));
        writeBytes(folder.filePath(u"AccountsMap.plist"_s), serialise(accounts, binary));
        writeBytes(folder.filePath(u".DS_Store"_s), "x");
        writeBytes(folder.filePath(u"notes.txt"_s), "x");
        folder.mkdir(u"VeltrinBackup"_s);
    }

    QUrl url() const { return QUrl::fromLocalFile(dir.path()); }
};

void scan(benchmark::State& state, bool binary)
{
    const int count = int(state.range(0));
    const SignatureFolder folder(count, binary);
    MemoryPreferences preferences;
    BookmarkFolderAccess access;
    NoPanel panel;
    NoFollowFileOperations files;
    InodeFileAttributes attributes;
    SignatureService service(preferences, access, panel, files, attributes, folder.dir.path());
    for (auto _ : state) {
        service.loadSignatures(folder.url(), true);
        if (service.signatures().size() != count)
            state.SkipWithError("wrong number of signatures");
        benchmark::DoNotOptimize(service.signatures().constData());
    }
    state.SetComplexityN(count);
}

void BM_ScanWithXmlLists(benchmark::State& state)
{
    scan(state, false);
}
BENCHMARK(BM_ScanWithXmlLists)->RangeMultiplier(10)->Range(100, 10000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_ScanWithBinaryLists(benchmark::State& state)
{
    scan(state, true);
}
BENCHMARK(BM_ScanWithBinaryLists)->RangeMultiplier(10)->Range(100, 10000)->Unit(benchmark::kMillisecond)->Complexity();

// The two readers alone, to see their share of a scan.
void BM_ReadPropertyLists(benchmark::State& state)
{
    const SignatureFolder folder(int(state.range(0)), state.range(1) != 0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(SignatureService::readSignatureNames(folder.url()));
        benchmark::DoNotOptimize(SignatureService::readAccountsMap(folder.url()));
    }
    state.SetLabel(state.range(1) ? "binary" : "XML");
}
BENCHMARK(BM_ReadPropertyLists)->ArgsProduct({{100, 1000, 10000}, {0, 1}})->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
