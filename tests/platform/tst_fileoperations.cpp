#include "platform/NoFollowFileOperations.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace veltrin;

namespace {

template <typename T> QByteArray why(const std::expected<T, Error>& result)
{
    return result ? QByteArray() : result.error().description.toLocal8Bit();
}

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

int modeOf(const QByteArray& path)
{
    struct stat status { };
    return ::lstat(path.constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}

QByteArray contentsOf(const QByteArray& path)
{
    QByteArray bytes;
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return "<none>";
    char buffer[4096];
    for (ssize_t count; (count = ::read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, count);
    ::close(fd);
    return bytes;
}

bool writeBytes(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && written;
}

// The folder's entries, hidden ones included: what an operation left behind.
QStringList everythingIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestFileOperations : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void refusesWhatIsNotARegularFile_data();
    void refusesWhatIsNotARegularFile();
    void readStopsAtTheLimit_data();
    void readStopsAtTheLimit();
    void replacesAReadOnlyFile();
    void copyNeverReplaces_data();
    void copyNeverReplaces();
    void namesStayBytes();
    void makeFolderTellsWhatIsInTheWay();
    void everyWayOutClosesItsDescriptors();
};

// What stands at a signature's path instead of a file: read, copy and replace all refuse it,
// at once, and change nothing it points at.
void TestFileOperations::refusesWhatIsNotARegularFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("said");
    QTest::addRow("link to a file outside") << u"outside link"_qs << u"a symbolic link"_qs;
    QTest::addRow("link to /dev/zero") << u"zero link"_qs << u"a symbolic link"_qs;
    QTest::addRow("FIFO") << u"fifo"_qs << u"a FIFO"_qs;
    QTest::addRow("device") << u"device"_qs << u"a device"_qs;
    QTest::addRow("folder") << u"folder"_qs << u"a folder"_qs;
    QTest::addRow("socket") << u"socket"_qs << u"a socket"_qs;
}

void TestFileOperations::refusesWhatIsNotARegularFile()
{
    QFETCH(QString, kind);
    QFETCH(QString, said);
    QTemporaryDir outside;
    QTemporaryDir dir;
    const QByteArray secret = native(outside.filePath(u"secret"_qs));
    QVERIFY(writeBytes(secret, "outside text"));
    QVERIFY(::chmod(secret.constData(), 0640) == 0);
    const QByteArray path = native(dir.filePath(u"work.mailsignature"_qs));
    int socketFd = -1;
    if (kind == u"device") {
        if (!test::placeNonRegularFile(path, kind, secret)) {
            if (test::inCi())
                QFAIL("CI runs as root: a device node must be possible here");
            QSKIP("making a device node needs CAP_MKNOD (run as root)");
        }
    } else if (kind == u"folder") {
        QVERIFY(::mkdir(path.constData(), 0755) == 0);
    } else if (kind == u"socket") {
        socketFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        QVERIFY(size_t(path.size()) < sizeof address.sun_path);
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        QVERIFY(::bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    } else {
        QVERIFY(test::placeNonRegularFile(path, kind, secret));
    }
    const QUrl url = FileOperations::fileUrl(path);
    const QUrl copy = QUrl::fromLocalFile(dir.filePath(u"copy"_qs));
    const QStringList before = everythingIn(dir.path());
    NoFollowFileOperations files;

    const auto read = files.readFile(url, qint64(1) << 20);
    QVERIFY(!read);
    QVERIFY2(read.error().description.contains(u"not a regular file but " + said), why(read));
    const auto copied = files.copyToNewFile(url, copy, qint64(1) << 20);
    QVERIFY(!copied);
    QVERIFY2(copied.error().description.contains(u"not a regular file"), why(copied));
    const auto replaced = files.replaceFile(url, "new text");
    QVERIFY(!replaced);
    QVERIFY2(replaced.error().description.contains(u"not a regular file"), why(replaced));

    // Nothing outside changed, nothing left beside.
    QCOMPARE(contentsOf(secret), QByteArray("outside text"));
    QCOMPARE(modeOf(secret), 0640);
    QCOMPARE(everythingIn(dir.path()), before);
    if (socketFd >= 0)
        ::close(socketFd);
}

void TestFileOperations::readStopsAtTheLimit_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("read");
    QTest::addRow("at the limit") << qint64(4096) << true;
    QTest::addRow("one byte over") << qint64(4097) << false;
    QTest::addRow("far over") << qint64(4 << 20) << false;
    QTest::addRow("empty") << qint64(0) << true;
}

void TestFileOperations::readStopsAtTheLimit()
{
    QFETCH(qint64, size);
    QFETCH(bool, read);
    QTemporaryDir dir;
    const QByteArray path = native(dir.filePath(u"big"_qs));
    QVERIFY(writeBytes(path, QByteArray(size, 'x')));
    NoFollowFileOperations files;
    const auto bytes = files.readFile(FileOperations::fileUrl(path), 4096);
    QCOMPARE(bytes.has_value(), read);
    if (read)
        QCOMPARE(bytes->size(), size);
    else
        QVERIFY2(bytes.error().description.contains(u"larger than 4096 bytes"), why(bytes));
    const auto copied = files.copyToNewFile(
        FileOperations::fileUrl(path), QUrl::fromLocalFile(dir.filePath(u"copy"_qs)), 4096);
    QCOMPARE(copied.has_value(), read);
    QCOMPARE(QFile::exists(dir.filePath(u"copy"_qs)), read);
}

// A file protected by hand (0444) in a folder the user may write: replaced by a rename,
// which needs no write permission on the file itself; its mode stays.
void TestFileOperations::replacesAReadOnlyFile()
{
    QTemporaryDir dir;
    const QByteArray path = native(dir.filePath(u"work.mailsignature"_qs));
    QVERIFY(writeBytes(path, "old text"));
    QVERIFY(::chmod(path.constData(), 0444) == 0);
    NoFollowFileOperations files;
    const auto replaced = files.replaceFile(FileOperations::fileUrl(path), "new text");
    QVERIFY2(replaced, why(replaced));
    QCOMPARE(contentsOf(path), QByteArray("new text"));
    QCOMPARE(modeOf(path), 0444);
    QCOMPARE(everythingIn(dir.path()), QStringList { u"work.mailsignature"_qs });
}

void TestFileOperations::copyNeverReplaces_data()
{
    QTest::addColumn<QString>("inTheWay");
    QTest::addRow("file") << u"file"_qs;
    QTest::addRow("dangling link") << u"link"_qs;
}

void TestFileOperations::copyNeverReplaces()
{
    QFETCH(QString, inTheWay);
    QTemporaryDir dir;
    const QByteArray source = native(dir.filePath(u"source"_qs));
    const QByteArray target = native(dir.filePath(u"target"_qs));
    QVERIFY(writeBytes(source, "source text"));
    QVERIFY(::chmod(source.constData(), 0604) == 0);
    if (inTheWay == u"file")
        QVERIFY(writeBytes(target, "earlier"));
    else
        QVERIFY(::symlink(native(dir.filePath(u"nowhere"_qs)).constData(), target.constData()) == 0);
    NoFollowFileOperations files;
    const auto copied = files.copyToNewFile(FileOperations::fileUrl(source), FileOperations::fileUrl(target), 1024);
    QVERIFY(!copied);
    QVERIFY2(copied.error().description.contains(u"already exists"), why(copied));
    QVERIFY(!QFile::exists(dir.filePath(u"nowhere"_qs)));

    // A free name gets the whole copy, with the source's permissions.
    const QByteArray free = native(dir.filePath(u"free"_qs));
    const auto made = files.copyToNewFile(FileOperations::fileUrl(source), FileOperations::fileUrl(free), 1024);
    QVERIFY2(made, why(made));
    QCOMPARE(*made, QByteArray("source text"));
    QCOMPARE(contentsOf(free), QByteArray("source text"));
    QCOMPARE(modeOf(free), 0604);
}

// A name that is not UTF-8 and its twin spelled with U+FFFD are two files, listed, read and
// replaced each as itself.
void TestFileOperations::namesStayBytes()
{
    QTemporaryDir dir;
    const QByteArray folder = native(dir.path());
    const QByteArray raw = folder + "/caf\xe9.mailsignature";
    const QByteArray twin = folder + "/caf\xef\xbf\xbd.mailsignature";
    QVERIFY(writeBytes(raw, "latin-1 name"));
    QVERIFY(writeBytes(twin, "replacement name"));
    NoFollowFileOperations files;
    const auto listing = files.listFolder(QUrl::fromLocalFile(dir.path()));
    QVERIFY2(listing, why(listing));
    QCOMPARE(listing->size(), 2);
    QSet<QByteArray> paths;
    for (const FolderEntry& entry : *listing) {
        paths.insert(FileOperations::nativePath(entry.url));
        QVERIFY(entry.status.isRegularFile);
        QCOMPARE(entry.name, u"caf\uFFFD.mailsignature"_qs);
    }
    QCOMPARE(paths, QSet<QByteArray>({ raw, twin }));
    const QUrl rawUrl = FileOperations::fileUrl(raw);
    QVERIFY(rawUrl != FileOperations::fileUrl(twin));
    QCOMPARE(files.readFile(rawUrl, 1024).value_or(QByteArray()), QByteArray("latin-1 name"));
    QVERIFY(files.replaceFile(rawUrl, "edited"));
    QCOMPARE(contentsOf(raw), QByteArray("edited"));
    QCOMPARE(contentsOf(twin), QByteArray("replacement name"));
}

void TestFileOperations::makeFolderTellsWhatIsInTheWay()
{
    QTemporaryDir dir;
    NoFollowFileOperations files;
    const QUrl nested = QUrl::fromLocalFile(dir.filePath(u"a/b/c"_qs));
    QVERIFY(files.makeFolder(nested));
    QVERIFY(files.makeFolder(nested)); // existing: no failure
    QVERIFY(QFileInfo(dir.filePath(u"a/b/c"_qs)).isDir());
    QVERIFY(writeBytes(native(dir.filePath(u"file"_qs)), "x"));
    const auto made = files.makeFolder(QUrl::fromLocalFile(dir.filePath(u"file"_qs)));
    QVERIFY(!made);
    QCOMPARE(made.error().description, u"it is a regular file, not a folder"_qs);
}

int openDescriptors()
{
    return int(QDir(u"/proc/self/fd"_qs).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}

// Failures and successes alike give their descriptors back: a thousand operations leave as
// many open as before.
void TestFileOperations::everyWayOutClosesItsDescriptors()
{
    QTemporaryDir dir;
    const QByteArray fifo = native(dir.filePath(u"fifo"_qs));
    const QByteArray link = native(dir.filePath(u"link"_qs));
    const QByteArray big = native(dir.filePath(u"big"_qs));
    const QByteArray small = native(dir.filePath(u"small"_qs));
    QVERIFY(::mkfifo(fifo.constData(), 0644) == 0);
    QVERIFY(::symlink("/dev/zero", link.constData()) == 0);
    QVERIFY(writeBytes(big, QByteArray(200, 'x')));
    QVERIFY(writeBytes(small, "small"));
    NoFollowFileOperations files;
    const int before = openDescriptors();
    for (int i = 0; i < 100; ++i) {
        QVERIFY(!files.readFile(FileOperations::fileUrl(fifo), 100));
        QVERIFY(!files.readFile(FileOperations::fileUrl(link), 100));
        QVERIFY(!files.readFile(FileOperations::fileUrl(big), 100));
        QVERIFY(files.readFile(FileOperations::fileUrl(small), 100));
        QVERIFY(!files.copyToNewFile(FileOperations::fileUrl(big), FileOperations::fileUrl(small), 100));
        QVERIFY(!files.copyToNewFile(FileOperations::fileUrl(small), FileOperations::fileUrl(big), 100));
        QVERIFY(files.replaceFile(FileOperations::fileUrl(small), "small"));
        QVERIFY(!files.replaceFile(FileOperations::fileUrl(fifo), "x"));
        QVERIFY(files.listFolder(QUrl::fromLocalFile(dir.path())));
        QVERIFY(!files.listFolder(FileOperations::fileUrl(small)));
    }
    QCOMPARE(openDescriptors(), before);
}

QTEST_GUILESS_MAIN(TestFileOperations)
#include "tst_fileoperations.moc"
