#include "FakeFileAttributes.h"
#include "ScriptedFileOperations.h"
#include "FileLocks.h"
#include "TestSupport.h"
#include "platform/InodeFileAttributes.h"
#include "store/SignatureRewriter.h"
#include "store/SignatureWriter.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <random>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace veltrin;
using veltrin::test::FakeFileAttributes;

namespace {

const char* const saveOnceFlag = "--save-once";
const QDateTime firstSave(QDate(2025, 1, 31), QTime(12, 0, 0), Qt::UTC);
const QString header = QStringLiteral("Content-Type: text/html;\n\tcharset=utf-8\nMime-Version: 1.0");
const QString signatureName = QStringLiteral("Crash.mailsignature");

// The HTML of the n-th save (0 is the text before the first). Over a megabyte, so that the
// backup copy takes more than one chunk, and a different length each time, so that a cut
// text can't pass for a whole one.
QString htmlOf(int generation)
{
    return QStringLiteral("<p>save %1: the quick brown fox</p>\n")
        .arg(generation)
        .repeated(36000 + 7 * generation);
}

QByteArray textOf(int generation)
{
    return SignatureRewriter::composeText(header, htmlOf(generation)).toUtf8();
}

// Each save gets its own second, so that its backup name is its own.
QDateTime momentOf(int generation)
{
    return firstSave.addSecs(generation);
}

QByteArray digest(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QStringList entries(const QString& folder)
{
    QStringList names
        = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

void writeByte(char byte)
{
    while (::write(STDOUT_FILENO, &byte, 1) < 0 && errno == EINTR) { }
}

// The child: one save of the given generation with the real attributes, announced on
// standard output just before it starts ('S') and after it ends ('D' done, 'F' failed).
[[noreturn]] void saveOnce(const char* path, int generation)
{
    InodeFileAttributes attributes;
    const SignatureWriter writer(veltrin::test::realFiles(), attributes, [generation] { return momentOf(generation); });
    const QString html = htmlOf(generation);
    writeByte('S');
    const auto saved = writer.save(QUrl::fromLocalFile(QFile::decodeName(path)), header, html);
    if (!saved)
        std::fprintf(stderr, "%s\n", qPrintable(saved.error().description));
    writeByte(saved ? 'D' : 'F');
    // Straight out: a kill that lands in the leak check at exit only makes noise.
    ::_exit(saved ? 0 : 1);
}

// A signatures folder in a temporary folder, unlocked before it is removed: a killed save
// can leave the file locked.
class Workspace final {
public:
    Workspace() { QDir().mkpath(folder()); }
    ~Workspace() { test::unlockTree(m_dir.path()); }
    Q_DISABLE_COPY_MOVE(Workspace)

    QString folder() const { return m_dir.filePath(QStringLiteral("Signatures")); }
    QString signaturePath() const { return QDir(folder()).filePath(signatureName); }
    QUrl signature() const { return QUrl::fromLocalFile(signaturePath()); }
    QString backupFolder() const { return SignatureWriter::backupFolder(signature()); }
    QString backupPath(const QDateTime& moment) const
    {
        return QDir(backupFolder()).filePath(SignatureWriter::backupFileName(signature(), moment));
    }

private:
    QTemporaryDir m_dir;
};

// Files written by this process may grow to a limit while it lives; a write past it fails
// (as on a full disk) instead of raising SIGXFSZ.
class FileSizeLimit final {
public:
    explicit FileSizeLimit(qint64 bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_previous);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_previous;
        limit.rlim_cur = rlim_t(bytes);
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_handler);
    }
    Q_DISABLE_COPY_MOVE(FileSizeLimit)

private:
    rlimit m_previous {};
    void (*m_handler)(int) = nullptr;
};

struct ChildEnd {
    bool started = false;
    bool finished = false; // reported the end of the save before it was killed
    bool saved = false;
    bool killed = false;
    qint64 saveNanoseconds = 0;
};

// Runs one save in a child process; with a delay, kills it that many microseconds after
// the save began.
ChildEnd runChild(const QString& path, int generation, std::optional<int> killAfterMicroseconds)
{
    ChildEnd end;
    int channel[2];
    if (::pipe(channel) != 0)
        return end;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, channel[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, channel[0]);
    posix_spawn_file_actions_addclose(&actions, channel[1]);
    const QByteArray program = QFile::encodeName(QCoreApplication::applicationFilePath());
    const QByteArray file = QFile::encodeName(path);
    const QByteArray number = QByteArray::number(generation);
    char* const argv[] = { const_cast<char*>(program.constData()), const_cast<char*>(saveOnceFlag),
        const_cast<char*>(file.constData()), const_cast<char*>(number.constData()), nullptr };
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(channel[1]);
    if (spawned != 0) {
        ::close(channel[0]);
        return end;
    }

    const auto readByte = [&channel] {
        char byte = 0;
        ssize_t count = 0;
        while ((count = ::read(channel[0], &byte, 1)) < 0 && errno == EINTR) { }
        return count == 1 ? byte : '\0';
    };
    end.started = readByte() == 'S';
    QElapsedTimer timer;
    timer.start();
    if (end.started && killAfterMicroseconds) {
        ::usleep(useconds_t(*killAfterMicroseconds));
        ::kill(pid, SIGKILL);
    }
    const char last = readByte();
    end.saveNanoseconds = timer.nsecsElapsed();
    end.finished = last == 'D' || last == 'F';
    end.saved = last == 'D';
    ::close(channel[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    end.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    if (!end.killed && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
        end.saved = false;
    return end;
}

enum class Fault {
    UnlockFails,
    BackupFolderBlocked,
    BackupNameTaken,
    BackupCutShort,
    WriteCutShort,
    LockFails
};

} // namespace

class TestSaveCrash : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void killedSavesLeaveWholeFiles();
    void failedStepsLeaveWholeFiles_data();
    void failedStepsLeaveWholeFiles();
};

void TestSaveCrash::killedSavesLeaveWholeFiles()
{
    // Each kill lands in its own slice of the save, the slices in random order: fewer kills
    // cover the whole save as evenly as twice as many purely random ones.
    constexpr int kills = 150;
    const char* const seedVariable = std::getenv("VELTRIN_SAVECRASH_SEED");
    const unsigned seed = seedVariable ? unsigned(std::strtoul(seedVariable, nullptr, 10)) : 20250131u;
    qInfo("seed %u (set VELTRIN_SAVECRASH_SEED to repeat another run)", seed);
    std::mt19937 random(seed);

    Workspace space;
    QVERIFY(test::writeFile(space.signaturePath(), textOf(0)));
    QElapsedTimer clock;
    clock.start();

    int onDisk = 0; // the generation the file holds
    QByteArray onDiskText = textOf(0);
    QHash<int, QByteArray> backedUp; // save -> digest of the text its backup must hold
    QSet<QString> backupNames;
    QList<qint64> durations;
    int window = 0;
    struct {
        int beforeBackup = 0, backupOnly = 0, newUnlocked = 0, newLocked = 0, ended = 0;
    } seen;
    InodeFileAttributes attributes;
    std::vector<int> slices(kills);
    std::iota(slices.begin(), slices.end(), 0);
    std::shuffle(slices.begin(), slices.end(), random);

    // Three whole saves measure how long one takes; the kills then land anywhere in it.
    constexpr int measured = 3;
    for (int generation = 1; generation <= measured + kills; ++generation) {
        const bool measuring = generation <= measured;
        if (!measuring && window == 0) {
            std::sort(durations.begin(), durations.end());
            window = std::max(1, int(durations[measured / 2] / 1000 * 12 / 10));
            qInfo("a save takes about %lld us; kills land within %d us of its start",
                static_cast<long long>(durations[measured / 2] / 1000), window);
        }
        const std::optional<int> delay = measuring
            ? std::nullopt
            : std::optional<int>(
                int((slices[generation - measured - 1] + std::uniform_real_distribution<double>(0, 1)(random))
                    * window / kills));
        const QByteArray context = "save " + QByteArray::number(generation) + " killed after "
            + (delay ? QByteArray::number(*delay) + " us" : QByteArray("never"));
        const auto because = [&context](const char* what) { return QByteArray(context + ": " + what); };

        const ChildEnd end = runChild(space.signaturePath(), generation, delay);
        QVERIFY2(end.started, context.constData());
        QVERIFY2(end.killed || end.saved, context.constData());
        if (measuring)
            durations.append(end.saveNanoseconds);

        // The file: the old text or the new one, whole; the new one once the save said so.
        const QByteArray newText = textOf(generation);
        const QByteArray text = contents(space.signaturePath());
        const QByteArray before = onDiskText;
        if (text == newText) {
            onDisk = generation;
            onDiskText = newText;
        } else {
            QVERIFY2(
                !end.finished && text == before, because("the file holds neither text whole").constData());
        }

        // The backup folder: whole backups under backup names, hidden leftovers at most.
        const QString backupPath = space.backupPath(momentOf(generation));
        if (QFileInfo::exists(backupPath)) {
            QVERIFY2(contents(backupPath) == before, because("partial backup").constData());
            backedUp.insert(generation, digest(before));
            backupNames.insert(QFileInfo(backupPath).fileName());
        } else {
            QVERIFY2(!end.finished && onDisk != generation, because("a save without its backup").constData());
        }
        for (const QString& name : entries(space.backupFolder())) {
            QVERIFY2(name.startsWith(u'.') || backupNames.contains(name),
                because("unexpected entry ").append(name.toUtf8()).constData());
        }
        // Beside the signature only the backup folder and what an atomic write may leave
        // under a name that is no signature's.
        for (const QString& name : entries(space.folder())) {
            QVERIFY2(name == signatureName || name == u"VeltrinBackup" || !name.endsWith(u".mailsignature"),
                because("stray signature ").append(name.toUtf8()).constData());
        }

        seen.ended += end.finished && !measuring;
        if (!backedUp.contains(generation))
            ++seen.beforeBackup;
        else if (onDisk != generation)
            ++seen.backupOnly;
        else if (attributes.isImmutable(space.signaturePath()).value_or(false))
            ++seen.newLocked;
        else
            ++seen.newUnlocked;
    }

    // Nothing a later save did touched an earlier backup.
    for (auto it = backedUp.cbegin(); it != backedUp.cend(); ++it) {
        QVERIFY2(digest(contents(space.backupPath(momentOf(it.key())))) == it.value(),
            qPrintable(QStringLiteral("backup of save %1 changed").arg(it.key())));
    }
    // Hidden copies left by kills are no backups.
    const SignatureWriter writer(veltrin::test::realFiles(), attributes);
    QCOMPARE(writer.backups(space.signature()).size(), backedUp.size());
    const QStringList leftovers
        = entries(space.backupFolder()).filter(QRegularExpression(QStringLiteral("^\\.")));
    qInfo(
        "%d kills and %d whole saves in %lld ms. Killed before the backup was made %d, with the backup "
        "made and the old text %d, with the new text unlocked %d, with the new text locked %d (the save had "
        "ended %d times); hidden copies left behind %lld, unfinished writes beside the file %lld",
        kills, measured, static_cast<long long>(clock.elapsed()), seen.beforeBackup, seen.backupOnly,
        seen.newUnlocked, seen.newLocked, seen.ended, static_cast<long long>(leftovers.size()),
        static_cast<long long>(entries(space.folder()).size() - 2));
}

void TestSaveCrash::failedStepsLeaveWholeFiles_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<bool>("newText");
    QTest::addColumn<bool>("backup");
    QTest::addColumn<bool>("locks");

    QTest::addRow("unlock fails") << Fault::UnlockFails << true << true << true << true;
    QTest::addRow("backup folder blocked") << Fault::BackupFolderBlocked << false << false << false << false;
    QTest::addRow("backup name taken") << Fault::BackupNameTaken << false << false << false << false;
    QTest::addRow("backup copy cut short") << Fault::BackupCutShort << false << false << false << false;
    QTest::addRow("write cut short") << Fault::WriteCutShort << false << false << true << false;
    QTest::addRow("lock fails") << Fault::LockFails << false << true << true << true;
}

void TestSaveCrash::failedStepsLeaveWholeFiles()
{
    QFETCH(Fault, fault);
    QFETCH(bool, succeeds);
    QFETCH(bool, newText);
    QFETCH(bool, backup);
    QFETCH(bool, locks);

    Workspace space;
    const QByteArray oldText = textOf(0);
    const QByteArray earlierBackup = "an earlier backup\n";
    QVERIFY(test::writeFile(space.signaturePath(), oldText));
    FakeFileAttributes attributes;
    const SignatureWriter writer(veltrin::test::realFiles(), attributes, [] { return momentOf(1); });
    const QString backupPath = space.backupPath(momentOf(1));

    std::optional<qint64> sizeLimit;
    switch (fault) {
    case Fault::UnlockFails:
        attributes.failClearWith(QStringLiteral("unlock refused"));
        break;
    case Fault::BackupFolderBlocked:
        QVERIFY(test::writeFile(space.backupFolder(), "a file in the folder's place"));
        break;
    case Fault::BackupNameTaken:
        QVERIFY(test::writeFile(backupPath, earlierBackup));
        break;
    case Fault::BackupCutShort:
        sizeLimit = oldText.size() / 2;
        break;
    case Fault::WriteCutShort:
        QVERIFY(textOf(1).size() > oldText.size());
        sizeLimit = oldText.size();
        break;
    case Fault::LockFails:
        attributes.failLockWith(QStringLiteral("lock refused"));
        break;
    }

    std::expected<SaveResult, Error> saved;
    {
        std::optional<FileSizeLimit> limit;
        if (sizeLimit)
            limit.emplace(*sizeLimit);
        saved = writer.save(space.signature(), header, htmlOf(1));
    }
    QCOMPARE(bool(saved), succeeds);
    if (!saved)
        QVERIFY(!saved.error().description.isEmpty());
    QVERIFY(contents(space.signaturePath()) == (newText ? textOf(1) : oldText));
    // A save that stops before the lock leaves the file unlocked.
    QCOMPARE(attributes.calls().constLast().startsWith(u"lock "), locks);

    if (backup)
        QVERIFY(contents(backupPath) == oldText);
    else if (fault == Fault::BackupNameTaken)
        QCOMPARE(contents(backupPath), earlierBackup);
    else
        QVERIFY(!QFileInfo::exists(backupPath));
    // A failed step cleans up after itself: nothing else in either folder.
    if (QFileInfo(space.backupFolder()).isDir()) {
        QCOMPARE(entries(space.backupFolder()),
            QFileInfo::exists(backupPath) ? QStringList { QFileInfo(backupPath).fileName() }
                                          : QStringList {});
    }
    QStringList expected { signatureName, QStringLiteral("VeltrinBackup") };
    expected.sort();
    QCOMPARE(entries(space.folder()), expected);
}

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], saveOnceFlag) == 0)
        saveOnce(argv[2], std::atoi(argv[3]));
    QCoreApplication application(argc, argv);
    TestSaveCrash test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_savecrash.moc"
