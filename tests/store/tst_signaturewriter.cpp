#include "FakeFileAttributes.h"
#include "ScriptedFileOperations.h"
#include "FileLocks.h"
#include "TestSupport.h"
#include "platform/InodeFileAttributes.h"
#include "store/MimeReader.h"
#include "store/SignatureReader.h"
#include "store/SignatureRewriter.h"
#include "store/SignatureWriter.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <memory>
#include <random>

#include <sys/stat.h>
#include <unistd.h>

using namespace veltrin;
using veltrin::test::FakeFileAttributes;

namespace {

const QDateTime noon = QDateTime(QDate(2025, 1, 31), QTime(12, 0, 0, 500), Qt::UTC);

template <typename T> QByteArray why(const std::expected<T, Error>& result)
{
    return result ? QByteArray() : result.error().description.toLocal8Bit();
}

// Line breaks and other invisible characters spelled out, for failure messages.
QByteArray escaped(const QString& text)
{
    const std::unique_ptr<char[]> spelled(QTest::toString(text));
    return QByteArray(spelled.get());
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

int modeOf(const QString& path)
{
    struct stat status { };
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}

SignatureFile signatureAt(const QUrl& file)
{
    SignatureFile signature;
    signature.filePath = file;
    return signature;
}

// The HTML a read gives back after a save: the save ends the text with a line feed, which
// the blank line after the header already does when the HTML is empty.
QString withFinalLineFeed(const QString& html)
{
    return html.isEmpty() || html.endsWith(u'\n') ? html : html + u'\n';
}

// The time by which files made one after the other are told apart.
QDateTime madeAt(const QString& path)
{
    const QFileInfo made(path);
    return made.birthTime().isValid() ? made.birthTime() : made.metadataChangeTime();
}

// The time a file made now in folder gets (file times are coarse: it may equal earlier ones).
QDateTime timeOfNewFile(const QString& folder)
{
    QTemporaryFile probe(folder + QStringLiteral("/probe.XXXXXX"));
    return probe.open() ? madeAt(probe.fileName()) : QDateTime();
}

// A signatures folder in a temporary folder. Everything in it is unlocked before it is
// removed, whatever the test left locked.
class Workspace final {
public:
    Workspace() { QDir().mkpath(folder()); }
    ~Workspace() { test::unlockTree(m_dir.path()); }
    Q_DISABLE_COPY_MOVE(Workspace)

    QString folder() const { return m_dir.filePath(QStringLiteral("Signatures")); }
    QString path(const QString& name) const { return QDir(folder()).filePath(name); }
    QString backupPath(const QString& name) const { return path(QStringLiteral("VeltrinBackup/") + name); }
    QUrl signature(const QString& name, const QByteArray& bytes) const
    {
        const QString file = path(name);
        return test::writeFile(file, bytes) ? QUrl::fromLocalFile(file) : QUrl();
    }
    // Whether this machine lets the tests set the immutable flag here.
    bool canLock() const { return test::canLockFilesIn(folder()); }

private:
    QTemporaryDir m_dir;
};

const QString plainHeader = QStringLiteral("Content-Type: text/html;\n\tcharset=utf-8\nMime-Version: 1.0");
const QByteArray oldText = "Content-Type: text/html;\n\tcharset=utf-8\nMime-Version: 1.0\n\n<p>old</p>\n";

} // namespace

class TestSignatureWriter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void backupNames_data();
    void backupNames();
    void firstSaveMakesTheFolderAndOneBackup();
    void backupKeepsTheOriginalsMode_data();
    void backupKeepsTheOriginalsMode();
    void secondSaveInTheSameSecondWritesNothing();
    void textEndsWithOneLineFeed_data();
    void textEndsWithOneLineFeed();
    void stepsRunInOrder();
    void refusedLockStillSaves();
    void savedFileHasPermissionsAndLock();
    void failedStepLosesNothing_data();
    void failedStepLosesNothing();
    void backupsAreTheSignaturesNewestFirst();
    void modificationDate_data();
    void modificationDate();
    void multipartHeaderBecomesSinglePart_data();
    void multipartHeaderBecomesSinglePart();
    void composedTextReadsBack_data();
    void composedTextReadsBack();
    void generatedMultipartHeadersReadBack();
    void savedFixtureReadsBack_data();
    void savedFixtureReadsBack();
    void swappedFileIsNeverFollowed_data();
    void swappedFileIsNeverFollowed();
    void readOnlySignatureSaves();
    void lockedFileSaysItIsLocked();
    void nameThatIsNotTextSavesItsOwnFile();
};

void TestSignatureWriter::backupNames_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<QString>("name");
    QTest::addRow("UTC, milliseconds dropped") << QStringLiteral(
        "/s/work.mailsignature") << noon << QStringLiteral("work.bak.2025-01-31T12:00:00Z.mailsignature");
    QTest::addRow("other zone turned into UTC")
        << QStringLiteral("/s/work.mailsignature")
        << QDateTime(QDate(2025, 2, 1), QTime(1, 30, 59, 999), Qt::OffsetFromUTC, 2 * 3600)
        << QStringLiteral("work.bak.2025-01-31T23:30:59Z.mailsignature");
    QTest::addRow("only the last extension goes")
        << QStringLiteral("/s/A1-B2.old.mailsignature") << noon
        << QStringLiteral("A1-B2.old.bak.2025-01-31T12:00:00Z.mailsignature");
}

void TestSignatureWriter::backupNames()
{
    QFETCH(QString, file);
    QFETCH(QDateTime, moment);
    QFETCH(QString, name);
    QCOMPARE(SignatureWriter::backupFileName(QUrl::fromLocalFile(file), moment), name);
    QCOMPARE(SignatureWriter::backupFolder(QUrl::fromLocalFile(file)), QStringLiteral("/s/VeltrinBackup"));
}

void TestSignatureWriter::firstSaveMakesTheFolderAndOneBackup()
{
    Workspace space;
    const QUrl file = space.signature(QStringLiteral("work.mailsignature"), oldText);
    InodeFileAttributes attributes;
    const SignatureWriter writer(veltrin::test::realFiles(), attributes, [] { return noon; });
    QVERIFY(writer.backups(file).isEmpty());
    QVERIFY(!QFileInfo::exists(space.path(QStringLiteral("VeltrinBackup"))));

    const auto saved = writer.save(file, plainHeader, QStringLiteral("<p>new</p>"));
    QVERIFY2(saved, why(saved));

    const QString backup = space.backupPath(QStringLiteral("work.bak.2025-01-31T12:00:00Z.mailsignature"));
    QCOMPARE(saved->backupFile, QUrl::fromLocalFile(backup));
    QCOMPARE(QDir(space.path(QStringLiteral("VeltrinBackup")))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList { QFileInfo(backup).fileName() });
    QCOMPARE(contents(backup), oldText);
    QCOMPARE(contents(file.toLocalFile()), plainHeader.toUtf8() + "\n\n<p>new</p>\n");
    QCOMPARE(writer.backups(file), QList<QUrl> { saved->backupFile });
}

void TestSignatureWriter::backupKeepsTheOriginalsMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addRow("0644") << 0644;
    QTest::addRow("0640") << 0640;
    QTest::addRow("0600") << 0600;
}

// A backup is a copy of the file as it was: its mode too, not the mode the save leaves.
void TestSignatureWriter::backupKeepsTheOriginalsMode()
{
    QFETCH(int, mode);
    Workspace space;
    const QUrl file = space.signature(QStringLiteral("work.mailsignature"), oldText);
    QCOMPARE(::chmod(QFile::encodeName(file.toLocalFile()).constData(), mode_t(mode)), 0);
    FakeFileAttributes attributes;
    const SignatureWriter writer(veltrin::test::realFiles(), attributes, [] { return noon; });

    const auto saved = writer.save(file, plainHeader, QStringLiteral("<p>new</p>"));
    QVERIFY2(saved, why(saved));
    QCOMPARE(modeOf(saved->backupFile.toLocalFile()), mode);
    QCOMPARE(contents(saved->backupFile.toLocalFile()), oldText);
}

void TestSignatureWriter::secondSaveInTheSameSecondWritesNothing()
{
    Workspace space;
    const QUrl file = space.signature(QStringLiteral("work.mailsignature"), oldText);
    InodeFileAttributes attributes;
    QDateTime now = noon;
    const SignatureWriter writer(veltrin::test::realFiles(), attributes, [&now] { return now; });
    const bool lockable = space.canLock();

    QVERIFY2(writer.save(file, plainHeader, QStringLiteral("<p>first</p>")), "first save");
    const QByteArray first = contents(file.toLocalFile());
    QCOMPARE(attributes.isImmutable(file.toLocalFile()), lockable);

    now = noon.addMSecs(400);
    const auto again = writer.save(file, plainHeader, QStringLiteral("<p>second</p>"));
    QVERIFY(!again);
    const QString backup = space.backupPath(QStringLiteral("work.bak.2025-01-31T12:00:00Z.mailsignature"));
    QVERIFY2(again.error().description.contains(QLatin1String("already exists")), why(again));
    QVERIFY2(again.error().description.contains(backup), why(again));
    QCOMPARE(contents(file.toLocalFile()), first);
    QCOMPARE(contents(backup), oldText);
    QCOMPARE(writer.backups(file).size(), 1);
    // The failed save unlocked the file and stopped there.
    QCOMPARE(attributes.isImmutable(file.toLocalFile()), false);

    now = noon.addSecs(1);
    QVERIFY2(writer.save(file, plainHeader, QStringLiteral("<p>second</p>")), "save a second later");
    QCOMPARE(
        contents(space.backupPath(QStringLiteral("work.bak.2025-01-31T12:00:01Z.mailsignature"))), first);
}

void TestSignatureWriter::textEndsWithOneLineFeed_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("text");
    QTest::addRow("no final line feed")
        << plainHeader << QStringLiteral("<p>x</p>") << plainHeader + QStringLiteral("\n\n<p>x</p>\n");
    QTest::addRow("line feed") << plainHeader << QStringLiteral("<p>x</p>\n")
                               << plainHeader + QStringLiteral("\n\n<p>x</p>\n");
    QTest::addRow("CR LF") << plainHeader << QStringLiteral("<p>x</p>\r\n")
                           << plainHeader + QStringLiteral("\n\n<p>x</p>\r\n");
    QTest::addRow("lone CR") << plainHeader << QStringLiteral("<p>x</p>\r")
                             << plainHeader + QStringLiteral("\n\n<p>x</p>\r\n");
    QTest::addRow("empty HTML") << plainHeader << QString() << plainHeader + QStringLiteral("\n\n");
    QTest::addRow("no header block") << QString() << QStringLiteral("<p>x</p>")
                                     << QStringLiteral("\n\n<p>x</p>\n");
    QTest::addRow("quoted-printable, space at the end")
        << QStringLiteral("Content-Transfer-Encoding: quoted-printable") << QStringLiteral("a=b ")
        << QStringLiteral("Content-Transfer-Encoding: quoted-printable\n\na=3Db=20\n");
}

void TestSignatureWriter::textEndsWithOneLineFeed()
{
    QFETCH(QString, header);
    QFETCH(QString, html);
    QFETCH(QString, text);
    QCOMPARE(SignatureRewriter::composeText(header, html), text);
}

void TestSignatureWriter::stepsRunInOrder()
{
    Workspace space;
    const QUrl file = space.signature(QStringLiteral("work.mailsignature"), oldText);
    const QString path = file.toLocalFile();
    const QString backup = space.backupPath(QStringLiteral("work.bak.2025-01-31T12:00:00Z.mailsignature"));
    FakeFileAttributes attributes;
    QStringList seen;
    attributes.onCall([&](const QString& operation, const QString&) {
        seen << operation + u": backup folder "
                + (QFileInfo::exists(space.path(QStringLiteral("VeltrinBackup"))) ? u"there" : u"missing")
                + u", backup " + QString::fromUtf8(QFileInfo::exists(backup) ? contents(backup) : "missing")
                + u", file " + QString::fromUtf8(contents(path));
    });
    const SignatureWriter writer(veltrin::test::realFiles(), attributes, [] { return noon; });

    const auto saved = writer.save(file, plainHeader, QStringLiteral("<p>new</p>"));
    QVERIFY2(saved, why(saved));
    const QString newText = QString::fromUtf8(contents(path));
    const QStringList expected = {
        u"clear: backup folder missing, backup missing, file " + QString::fromUtf8(oldText),
        u"lock: backup folder there, backup " + QString::fromUtf8(oldText) + u", file " + newText,
    };
    QCOMPARE(seen, expected);
    QCOMPARE(attributes.calls(), (QStringList { u"clear " + path, u"lock " + path }));
    QCOMPARE(attributes.permissions(path), std::optional<int>(0600));
    QVERIFY(saved->locked);
}

void TestSignatureWriter::refusedLockStillSaves()
{
    Workspace space;
    const QUrl file = space.signature(QStringLiteral("work.mailsignature"), oldText);
    FakeFileAttributes attributes;
    attributes.refuseLock(QStringLiteral("no privilege"));
    const SignatureWriter writer(veltrin::test::realFiles(), attributes, [] { return noon; });

    const auto saved = writer.save(file, plainHeader, QStringLiteral("<p>new</p>"));
    QVERIFY2(saved, why(saved));
    QVERIFY(!saved->locked);
    QCOMPARE(saved->notLockedReason, QStringLiteral("no privilege"));
    QCOMPARE(attributes.permissions(file.toLocalFile()), std::optional<int>(0600));
    QCOMPARE(contents(file.toLocalFile()), plainHeader.toUtf8() + "\n\n<p>new</p>\n");

    // Through the value type's own save, where this system refuses the lock (an ordinary user,
    // or a file system without the attribute): a success, with the text and one backup.
    const QUrl other = space.signature(QStringLiteral("home.mailsignature"), oldText);
    const SignatureFile signature = signatureAt(other);
    if (space.canLock())
        QSKIP("this process may lock files here: run it as an ordinary user to see a refused lock");
    const auto result = signature.save(plainHeader, QStringLiteral("<p>home</p>"));
    QVERIFY2(result, why(result));
    QCOMPARE(contents(other.toLocalFile()), plainHeader.toUtf8() + "\n\n<p>home</p>\n");
    QCOMPARE(modeOf(other.toLocalFile()), 0600);
    const QList<QUrl> backups = signature.backups();
    QCOMPARE(backups.size(), 1);
    QCOMPARE(contents(backups.first().toLocalFile()), oldText);
}

void TestSignatureWriter::savedFileHasPermissionsAndLock()
{
    Workspace space;
    if (!space.canLock())
        QSKIP("this process can't set the immutable attribute here (no CAP_LINUX_IMMUTABLE or no support)");
    const QUrl file = space.signature(QStringLiteral("work.mailsignature"), oldText);
    const QString path = file.toLocalFile();
    InodeFileAttributes attributes;
    // Whatever it had before: open to all and locked.
    QVERIFY(attributes.setPermissionsAndImmutable(path, 0666));
    QDateTime now = noon;
    const SignatureWriter writer(veltrin::test::realFiles(), attributes, [&now] { return now; });

    for (const QString& html : { QStringLiteral("<p>one</p>"), QStringLiteral("<p>two</p>") }) {
        const auto saved = writer.save(file, plainHeader, html);
        QVERIFY2(saved, why(saved));
        QVERIFY(saved->locked);
        QCOMPARE(modeOf(path), 0600);
        QCOMPARE(attributes.isImmutable(path), true);
        QCOMPARE(contents(path), (plainHeader + u"\n\n" + html + u'\n').toUtf8());
        QFile writable(path);
        QVERIFY(!writable.open(QIODevice::WriteOnly | QIODevice::Append));
        now = now.addSecs(1);
    }
    // Through the value type, with the real attributes and clock.
    const SignatureFile signature = signatureAt(file);
    const auto saved = signature.save(plainHeader, QStringLiteral("<p>three</p>"));
    QVERIFY2(saved, why(saved));
    QCOMPARE(attributes.isImmutable(path), true);
    QCOMPARE(signature.backups().size(), 3);
}

void TestSignatureWriter::failedStepLosesNothing_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("newTextWritten");
    QTest::addColumn<bool>("backupMade");
    QTest::addRow("backup name taken")
        << QStringLiteral("taken") << QStringLiteral("already exists") << false << false;
    QTest::addRow("backup folder can't be made")
        << QStringLiteral("no folder")
        << QStringLiteral("backup folder can't be created (it is a regular file, not a folder)") << false << false;
    QTest::addRow("backup folder is a link to another folder")
        << QStringLiteral("linked folder")
        << QStringLiteral("backup folder can't be created (it is a symbolic link, not a folder)") << false << false;
    QTest::addRow("signature file unreadable")
        << QStringLiteral("missing") << QStringLiteral("can't be read") << false << false;
    QTest::addRow("signatures folder read-only")
        << QStringLiteral("locked folder") << QStringLiteral("Could not write") << false << true;
    QTest::addRow("file can't be unlocked")
        << QStringLiteral("locked file") << QStringLiteral("Could not write") << false << true;
    QTest::addRow("final attributes fail")
        << QStringLiteral("lock fails") << QStringLiteral("Read-only file system") << true << true;
}

void TestSignatureWriter::failedStepLosesNothing()
{
    QFETCH(QString, failure);
    QFETCH(QString, message);
    QFETCH(bool, newTextWritten);
    QFETCH(bool, backupMade);
    Workspace space;
    const QUrl file = space.signature(QStringLiteral("work.mailsignature"), oldText);
    const QString path = file.toLocalFile();
    const QString backup = space.backupPath(QStringLiteral("work.bak.2025-01-31T12:00:00Z.mailsignature"));
    const QByteArray earlierBackup = "someone's earlier backup";
    InodeFileAttributes real;
    FakeFileAttributes fake;
    FileAttributes* attributes = &real;
    QTemporaryDir elsewhere;

    if ((failure == u"locked folder" || failure == u"locked file") && !space.canLock())
        QSKIP("this process can't set the immutable attribute here (no CAP_LINUX_IMMUTABLE or no support)");
    if (failure == u"taken") {
        QVERIFY(test::writeFile(backup, earlierBackup));
    } else if (failure == u"no folder") {
        QVERIFY(test::writeFile(space.path(QStringLiteral("VeltrinBackup")), "a file in the way"));
    } else if (failure == u"linked folder") {
        QVERIFY(QFile::link(elsewhere.path(), space.path(QStringLiteral("VeltrinBackup"))));
    } else if (failure == u"missing") {
        QVERIFY(QFile::remove(path));
    } else if (failure == u"locked folder") {
        QVERIFY(QDir().mkpath(space.path(QStringLiteral("VeltrinBackup"))));
        QVERIFY(real.setPermissionsAndImmutable(space.folder(), 0755));
    } else if (failure == u"locked file") {
        QVERIFY(real.setPermissionsAndImmutable(path, 0644));
        fake.failClearWith(QStringLiteral("unlocking refused"));
        attributes = &fake;
    } else if (failure == u"lock fails") {
        fake.failLockWith(QStringLiteral("Could not lock \u201C%1\u201D: Read-only file system").arg(path));
        attributes = &fake;
    }
    const SignatureWriter writer(veltrin::test::realFiles(), *attributes, [] { return noon; });
    const QString html = QStringLiteral("<p>new</p>");

    const auto saved = writer.save(file, plainHeader, html);
    (void)real.clearImmutable(space.folder());

    QVERIFY(!saved);
    QVERIFY2(saved.error().description.contains(message), why(saved));
    QVERIFY2(saved.error().description.contains(path), why(saved));
    if (failure == u"missing")
        return;
    const QByteArray now = contents(path);
    const QByteArray newText = (plainHeader + u"\n\n" + html + u'\n').toUtf8();
    QCOMPARE(now, newTextWritten ? newText : oldText);
    if (backupMade) {
        QCOMPARE(contents(backup), oldText);
        QVERIFY2(saved.error().description.contains(backup), why(saved));
    } else {
        QCOMPARE(contents(backup), failure == u"taken" ? earlierBackup : QByteArray("<unreadable>"));
    }
    // Nothing lost: the old text is in the file or in this save's backup.
    QVERIFY(now == oldText || contents(backup) == oldText);
    // Nothing written outside the signatures folder.
    QCOMPARE(QDir(elsewhere.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

void TestSignatureWriter::backupsAreTheSignaturesNewestFirst()
{
    Workspace space;
    const QUrl work = space.signature(QStringLiteral("work.mailsignature"), oldText);
    const QUrl home = space.signature(QStringLiteral("home.mailsignature"), oldText);
    const QUrl dotted = space.signature(QStringLiteral(".dotted.mailsignature"), oldText);
    InodeFileAttributes attributes;
    const SignatureWriter writer(veltrin::test::realFiles(), attributes);
    QVERIFY(writer.backups(work).isEmpty());

    // Made in this order; their names sort otherwise.
    const QStringList made = {
        QStringLiteral("work.bak.2025-03-01T00:00:00Z.mailsignature"),
        QStringLiteral("workshop.bak.2025-05-01T00:00:00Z.mailsignature"),
        QStringLiteral("home.bak.2025-06-01T00:00:00Z.mailsignature"),
        QStringLiteral("work.bak.2025-01-01T00:00:00Z.mailsignature"),
        QStringLiteral(".dotted.bak.2025-01-01T00:00:00Z.mailsignature"),
        QStringLiteral("work.bak.anything else"),
    };
    for (const QString& name : made) {
        QVERIFY(test::writeFile(space.backupPath(name), "backup"));
        // The next backup must get a later time than this one.
        const QDateTime time = madeAt(space.backupPath(name));
        QTRY_VERIFY(timeOfNewFile(QFileInfo(space.backupPath(name)).path()) > time);
    }
    QVERIFY(QDir().mkdir(space.backupPath(QStringLiteral("work.bak.folder"))));
    QVERIFY(QFile::link(
        space.backupPath(QStringLiteral("nowhere")), space.backupPath(QStringLiteral("work.bak.dangling"))));
    QVERIFY(test::writeFile(space.backupPath(QStringLiteral("work.mailsignature")), "not a backup"));

    const auto urls = [&](const QStringList& names) {
        QList<QUrl> result;
        for (const QString& name : names)
            result.append(QUrl::fromLocalFile(space.backupPath(name)));
        return result;
    };
    QCOMPARE(writer.backups(work),
        urls({ QStringLiteral("work.bak.folder"), QStringLiteral("work.bak.anything else"),
            QStringLiteral("work.bak.2025-01-01T00:00:00Z.mailsignature"),
            QStringLiteral("work.bak.2025-03-01T00:00:00Z.mailsignature"),
            QStringLiteral("work.bak.dangling") }));
    QCOMPARE(writer.backups(home), urls({ QStringLiteral("home.bak.2025-06-01T00:00:00Z.mailsignature") }));
    QVERIFY(writer.backups(dotted).isEmpty());
    const SignatureFile signature = signatureAt(home);
    QCOMPARE(signature.backups(), writer.backups(home));
}

void TestSignatureWriter::modificationDate_data()
{
    QTest::addColumn<bool>("removed");
    QTest::addRow("existing file") << false;
    QTest::addRow("removed file") << true;
}

void TestSignatureWriter::modificationDate()
{
    QFETCH(bool, removed);
    Workspace space;
    const QUrl file = space.signature(QStringLiteral("work.mailsignature"), oldText);
    const QDateTime modified = QDateTime(QDate(2024, 6, 1), QTime(8, 0), Qt::UTC);
    QFile touched(file.toLocalFile());
    QVERIFY(touched.open(QIODevice::ReadWrite));
    QVERIFY(touched.setFileTime(modified, QFileDevice::FileModificationTime));
    touched.close();
    if (removed)
        QVERIFY(QFile::remove(file.toLocalFile()));
    InodeFileAttributes attributes;
    const SignatureWriter writer(veltrin::test::realFiles(), attributes, [] { return noon; });

    QCOMPARE(writer.modificationDate(file), removed ? noon : modified);
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const QDateTime read = signatureAt(file).modificationDate();
    if (removed)
        QVERIFY(read >= before && read <= QDateTime::currentDateTimeUtc());
    else
        QCOMPARE(read, modified);
}

void TestSignatureWriter::multipartHeaderBecomesSinglePart_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("rewritten");
    const QString declaration
        = QStringLiteral("Content-Type: text/html; charset=utf-8\nContent-Transfer-Encoding: 8bit");
    QTest::addRow("folded type, other headers kept in place")
        << QStringLiteral(
               "Content-Transfer-Encoding: 7bit\nContent-Type: multipart/related;\n\ttype=\"text/html\";\n"
               "\tboundary=\"Apple-Mail=_AB\"\nMessage-Id: <x@y>\nMime-Version: 1.0 (Mac OS X Mail 16.0)")
        << declaration + QStringLiteral("\nMessage-Id: <x@y>\nMime-Version: 1.0 (Mac OS X Mail 16.0)");
    QTest::addRow("type last") << QStringLiteral(
        "Mime-Version: 1.0\nContent-Type: multipart/mixed; boundary=b")
                               << QStringLiteral("Mime-Version: 1.0\n") + declaration;
    QTest::addRow("folded kept header keeps its lines")
        << QStringLiteral(
               "X-Note: one\n two\nContent-Type: multipart/mixed; boundary=b\nContent-Disposition: inline;\n"
               "\tfilename=x\nX-Last: z")
        << QStringLiteral("X-Note: one\n two\n") + declaration + QStringLiteral("\nX-Last: z");
    QTest::addRow("any letter case") << QStringLiteral(
        "CONTENT-TYPE: Multipart/Related; Boundary=\"q\"\nCONTENT-TRANSFER-ENCODING: "
        "Quoted-Printable\nMIME-Version: 1.0")
                                     << declaration + QStringLiteral("\nMIME-Version: 1.0");
    QTest::addRow("lookalike above the real type goes too")
        << QStringLiteral(
               "X-Content-Type: multipart/mixed; boundary=z\nMessage-Id: <m>\nContent-Type: text/plain")
        << declaration + QStringLiteral("\nMessage-Id: <m>");
    QTest::addRow("CR LF line ends kept")
        << QStringLiteral(
               "Message-Id: <m>\r\nContent-Type: multipart/related; boundary=b\r\nMime-Version: 1.0")
        << QStringLiteral("Message-Id: <m>\r\nContent-Type: text/html; charset=utf-8\r\n"
                          "Content-Transfer-Encoding: 8bit\r\nMime-Version: 1.0");
}

void TestSignatureWriter::multipartHeaderBecomesSinglePart()
{
    QFETCH(QString, header);
    QFETCH(QString, rewritten);
    QVERIFY(declaresMultipart(header));
    QCOMPARE(SignatureRewriter::singlePartHeader(header), rewritten);
    QCOMPARE(SignatureRewriter::composeText(header, QStringLiteral("<p>x</p>")),
        rewritten + QStringLiteral("\n\n<p>x</p>\n"));
}

void TestSignatureWriter::composedTextReadsBack_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<bool>("headerKept");
    QTest::addRow("plain") << plainHeader << true;
    QTest::addRow("no header block") << QString() << true;
    QTest::addRow("quoted-printable") << QStringLiteral(
        "Content-Transfer-Encoding: quoted-printable\nContent-Type: text/html;\n\tcharset=utf-8")
                                      << true;
    QTest::addRow("quoted-printable folded away, so not declared")
        << QStringLiteral("Content-Transfer-Encoding:\n quoted-printable\nContent-Type: text/html") << true;
    QTest::addRow("multipart") << QStringLiteral(
        "Content-Type: multipart/related;\n\tboundary=\"b\"\nMime-Version: 1.0")
                               << false;
    QTest::addRow("multipart, quoted-printable declared as well") << QStringLiteral(
        "Content-Transfer-Encoding: quoted-printable\nContent-Type: multipart/related; boundary=b")
                                                                  << false;
    QTest::addRow("multipart without a boundary")
        << QStringLiteral("Content-Type: multipart/related\nMime-Version: 1.0") << true;
    QTest::addRow("multipart, CR LF")
        << QStringLiteral("Content-Type: multipart/related; boundary=b\r\nContent-ID: <c>\r\nX-A: 1")
        << false;
}

void TestSignatureWriter::composedTextReadsBack()
{
    QFETCH(QString, header);
    QFETCH(bool, headerKept);
    const QStringList htmls = {
        QStringLiteral("<div style=\"a=b\">Ren\u00E9e \U0001F33B</div>\n\n<p>") + QString(120, u'x')
            + QStringLiteral(" \t\r\n=41 end "),
        QString(),
        QStringLiteral("--b\nContent-Type: text/html\n\n<p>looks like a part</p>\n--b--\n"),
    };
    for (const QString& html : htmls) {
        const SignatureContent read = SignatureReader::parse(SignatureRewriter::composeText(header, html));
        QCOMPARE(read.html, withFinalLineFeed(html));
        if (headerKept)
            QCOMPARE(read.header, header);
        else
            QVERIFY(!declaresMultipart(read.header) && !declaresQuotedPrintable(read.header));
    }
}

void TestSignatureWriter::generatedMultipartHeadersReadBack()
{
    // Header blocks as a reader may hand them over (no blank line, no final line feed), made
    // of header lines, folded lines, lookalikes and every kind of line break.
    const QStringList lines = {
        QStringLiteral("Content-Type: multipart/related;"),
        QStringLiteral("\tboundary=\"b\""),
        QStringLiteral("Content-Type: multipart/mixed; boundary=c"),
        QStringLiteral("Message-Id: <m@x>"),
        QStringLiteral(" folded"),
        QStringLiteral("Content-Transfer-Encoding: quoted-printable"),
        QStringLiteral("X-Content-Type: text/plain"),
        QStringLiteral("Mime-Version: 1.0"),
        QString(),
        QStringLiteral(" content-type: multipart/alternative; boundary=d"),
        QStringLiteral("Content-Type: text/plain"),
    };
    const QStringList breaks
        = { QStringLiteral("\n"), QStringLiteral("\r\n"), QStringLiteral("\r"), QStringLiteral("\u2028") };
    std::mt19937 random(4105);
    std::uniform_int_distribution<int> count(1, 8);
    std::uniform_int_distribution<int> line(0, int(lines.size()) - 1);
    std::uniform_int_distribution<int> lineBreak(0, int(breaks.size()) - 1);
    const QString html = QStringLiteral("<p>a=b =41</p>");
    int tried = 0;
    for (int round = 0; round < 4000; ++round) {
        QString header;
        for (int n = count(random); n > 0; --n)
            header += lines[line(random)] + (n > 1 ? breaks[lineBreak(random)] : QString());
        if (header.contains(u"\n\n") || header.endsWith(u'\n') || !declaresMultipart(header))
            continue;
        ++tried;
        const SignatureContent read = SignatureReader::parse(SignatureRewriter::composeText(header, html));
        if (read.html != html + u'\n' || declaresMultipart(read.header)
            || declaresQuotedPrintable(read.header))
            QFAIL(QByteArray("header " + escaped(header) + " was rewritten to " + escaped(read.header))
                      .constData());
    }
    QVERIFY(tried > 500);
}

void TestSignatureWriter::savedFixtureReadsBack_data()
{
    QTest::addColumn<QString>("fixture");
    for (const QString& folder : { QStringLiteral("saving"), QStringLiteral("signatures") }) {
        const QDir dir(test::fixturePath(folder));
        for (const QString& name :
            dir.entryList({ QStringLiteral("*.mailsignature") }, QDir::Files, QDir::Name))
            QTest::addRow("%s", qPrintable(folder + u'/' + name)) << folder + u'/' + name;
    }
}

void TestSignatureWriter::savedFixtureReadsBack()
{
    QFETCH(QString, fixture);
    Workspace space;
    const QByteArray original = test::readFixture(fixture);
    const SignatureFile signature
        = signatureAt(space.signature(QStringLiteral("work.mailsignature"), original));
    const auto loaded = signature.loadContent();
    if (!loaded) {
        QStringDecoder utf8(QStringDecoder::Utf8);
        (void)utf8.decode(original);
        QVERIFY2(utf8.hasError(), why(loaded));
        QSKIP("not UTF-8 text, so there is nothing to save");
    }

    InodeFileAttributes attributes;
    int second = 0;
    const SignatureWriter writer(veltrin::test::realFiles(), attributes, [&second] { return noon.addSecs(second++); });

    // Unchanged: the file as it was.
    const auto unchanged = writer.save(signature.filePath, loaded->header, loaded->html);
    QVERIFY2(unchanged, why(unchanged));
    QCOMPARE(contents(signature.filePath.toLocalFile()), original);

    const QString edits[] = {
        loaded->html + QStringLiteral("<p>plain ASCII = ok =41</p>"),
        loaded->html + QStringLiteral("<p>\u00E9dit\u00E9 = ok =41 \U0001F600 ") + QString(90, u'-')
            + QStringLiteral(" </p>"),
    };
    for (const QString& html : edits) {
        const auto saved = writer.save(signature.filePath, loaded->header, html);
        QVERIFY2(saved, why(saved));
        const auto reread = signature.loadContent();
        QVERIFY2(reread, why(reread));
        // The final line break, where one is added, is the file's own.
        QVERIFY2(reread->html == html + u'\n' || reread->html == html + QStringLiteral("\r\n"),
            escaped(reread->html).constData());
        QCOMPARE(declaresMultipart(reread->header), declaresMultipart(loaded->header));
        if (html == edits[0]) {
            QCOMPARE(reread->header, loaded->header);
        } else {
            // Only what describes the body may change, to declare the text truthfully.
            for (const QString& kept : { QStringLiteral("Message-Id:"), QStringLiteral("Mime-Version:") }) {
                if (loaded->header.contains(kept))
                    QVERIFY2(reread->header.contains(kept), qPrintable(reread->header));
            }
        }
    }
    QCOMPARE(
        contents(space.backupPath(QStringLiteral("work.bak.2025-01-31T12:00:00Z.mailsignature"))), original);
}

// A signature replaced after the scan: by a link (to a file outside, or to a device), a
// FIFO or a device. The save stops at once, and nothing it would point at is read,
// written, unlocked or locked. `when` says which step finds the swap.
void TestSignatureWriter::swappedFileIsNeverFollowed_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("when");
    QTest::addRow("link to a file outside") << u"outside link"_qs << u"backup"_qs;
    QTest::addRow("link to /dev/zero") << u"zero link"_qs << u"backup"_qs;
    QTest::addRow("FIFO") << u"fifo"_qs << u"backup"_qs;
    QTest::addRow("device") << u"device"_qs << u"backup"_qs;
    QTest::addRow("link between backup and write") << u"outside link"_qs << u"write"_qs;
    QTest::addRow("FIFO between backup and write") << u"fifo"_qs << u"write"_qs;
}

void TestSignatureWriter::swappedFileIsNeverFollowed()
{
    QFETCH(QString, kind);
    QFETCH(QString, when);
    Workspace space;
    QTemporaryDir outside;
    const QString secret = outside.filePath(u"secret"_qs);
    QVERIFY(test::writeFile(secret, "outside text"));
    QVERIFY(QFile::setPermissions(secret, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const QUrl file = space.signature(u"work.mailsignature"_qs, oldText);
    const QByteArray path = QFile::encodeName(file.toLocalFile());
    const auto swap = [&] {
        QFile::remove(file.toLocalFile());
        return test::placeNonRegularFile(path, kind, QFile::encodeName(secret));
    };
    test::ScriptedFileOperations files;
    bool swapped = false;
    if (when == u"backup") {
        swapped = swap();
        if (!swapped && kind == u"device") {
            if (test::inCi())
                QFAIL("CI runs as root: a device node must be possible here");
            QSKIP("making a device node needs CAP_MKNOD (run as root)");
        }
        QVERIFY(swapped);
    } else {
        files.onCall([&](const QString& operation, const QUrl&) {
            if (operation == u"replace")
                swapped = swap();
        });
    }
    // The real lock, so that a lock through the link would show on the outside file.
    InodeFileAttributes attributes;
    const SignatureWriter writer(files, attributes, [] { return noon; });
    const auto saved = writer.save(file, plainHeader, u"<p>new</p>"_qs);
    QVERIFY(swapped);
    QVERIFY(!saved);
    QVERIFY2(saved.error().description.contains(u"not a regular file"), why(saved));
    QVERIFY2(saved.error().description.contains(when == u"backup" ? u"Could not back up" : u"Could not write"),
        why(saved));
    QCOMPARE(contents(secret), QByteArray("outside text"));
    QCOMPARE(modeOf(secret), 0640);
    QCOMPARE(InodeFileAttributes().isImmutable(secret).value_or(true), false);
    // The backup made before the swap holds the signature's own old text; nothing else is left.
    const QStringList left = QDir(space.path(u"VeltrinBackup"_qs)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    QCOMPARE(left.size(), when == u"backup" ? 0 : 1);
    if (when == u"write")
        QCOMPARE(contents(space.backupPath(left.first())), oldText);
    QCOMPARE(QDir(space.folder()).entryList(QDir::Hidden | QDir::Files | QDir::System).filter(u".work"_qs), QStringList());
}

// A signature protected by hand (0444) saves like any other, also for an ordinary user: the
// new text takes the file's place by a rename in the writable folder.
void TestSignatureWriter::readOnlySignatureSaves()
{
    Workspace space;
    const QUrl file = space.signature(u"work.mailsignature"_qs, oldText);
    QVERIFY(QFile::setPermissions(file.toLocalFile(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    InodeFileAttributes attributes;
    const SignatureWriter writer(test::realFiles(), attributes, [] { return noon; });
    const auto saved = writer.save(file, plainHeader, u"<p>new</p>"_qs);
    QVERIFY2(saved, why(saved));
    QCOMPARE(contents(file.toLocalFile()), plainHeader.toUtf8() + "\n\n<p>new</p>\n");
    QCOMPARE(modeOf(file.toLocalFile()), 0600);
    QCOMPARE(contents(saved->backupFile.toLocalFile()), oldText);
    // Saved again: one more backup, no failure.
    const SignatureWriter later(test::realFiles(), attributes, [] { return noon.addSecs(1); });
    const auto again = later.save(file, plainHeader, u"<p>newer</p>"_qs);
    QVERIFY2(again, why(again));
    QCOMPARE(writer.backups(file).size(), 2);
}

// A file locked by someone with the privilege, saved by a process without it: the message
// says it is locked and why it can't be unlocked, not that it "is not writable".
void TestSignatureWriter::lockedFileSaysItIsLocked()
{
    Workspace space;
    const QUrl file = space.signature(u"work.mailsignature"_qs, oldText);
    InodeFileAttributes attributes;
    const auto locked = attributes.setPermissionsAndImmutable(file, 0644);
    if (!locked || !locked->locked) {
        if (test::inCi())
            QFAIL("CI runs as root on a file system with the immutable flag: locking must work");
        QSKIP("locking a file needs CAP_LINUX_IMMUTABLE and a file system with the flag");
    }
    // Now without the privilege, as an ordinary user is.
    QVERIFY(test::setImmutableCapability(false));
    const SignatureWriter writer(test::realFiles(), attributes, [] { return noon; });
    const auto saved = writer.save(file, plainHeader, u"<p>new</p>"_qs);
    QVERIFY(test::setImmutableCapability(true));
    QVERIFY(!saved);
    QVERIFY2(saved.error().description.contains(u"the file is locked (immutable)"), why(saved));
    QVERIFY2(saved.error().description.contains(u"without the CAP_LINUX_IMMUTABLE privilege"), why(saved));
    QVERIFY2(!saved.error().description.contains(u"not writable"), why(saved));
    QCOMPARE(contents(file.toLocalFile()), oldText);
}

// A name that is not UTF-8 beside its twin spelled with U+FFFD: the save reads, backs up,
// writes and locks the file it was given, never the twin.
void TestSignatureWriter::nameThatIsNotTextSavesItsOwnFile()
{
    Workspace space;
    const QByteArray folder = QFile::encodeName(space.folder());
    const QUrl raw = FileOperations::fileUrl(folder + "/caf\xe9.mailsignature");
    const QUrl twin = FileOperations::fileUrl(folder + "/caf\xef\xbf\xbd.mailsignature");
    QVERIFY(test::realFiles().replaceFile(raw, oldText));
    QVERIFY(test::realFiles().replaceFile(twin, "twin text"));
    FakeFileAttributes attributes;
    const SignatureWriter writer(test::realFiles(), attributes, [] { return noon; });
    const auto saved = writer.save(raw, plainHeader, u"<p>new</p>"_qs);
    QVERIFY2(saved, why(saved));
    QCOMPARE(test::realFiles().readFile(raw, 1024).value_or(QByteArray()), plainHeader.toUtf8() + "\n\n<p>new</p>\n");
    QCOMPARE(test::realFiles().readFile(twin, 1024).value_or(QByteArray()), QByteArray("twin text"));
    QCOMPARE(test::realFiles().readFile(saved->backupFile, 1024).value_or(QByteArray()), oldText);
    QVERIFY(FileOperations::nativeFileName(saved->backupFile).startsWith("caf\xe9.bak."));
    QCOMPARE(writer.backups(raw), QList<QUrl>({ saved->backupFile }));
    QVERIFY(writer.backups(twin).isEmpty());
    QCOMPARE(attributes.isImmutable(twin), false);
    QCOMPARE(attributes.isImmutable(raw), true);
}

QTEST_GUILESS_MAIN(TestSignatureWriter)
#include "tst_signaturewriter.moc"
