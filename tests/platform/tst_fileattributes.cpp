#include "platform/InodeFileAttributes.h"

#include "FileLocks.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace veltrin;

namespace {

// The failure's description for a test message; empty on success.
template <typename T> QByteArray why(const std::expected<T, Error>& result)
{
    return result ? QByteArray() : result.error().description.toLocal8Bit();
}

int modeOf(const QString& path)
{
    struct stat status { };
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}

// A temporary folder whose files are unlocked before it is removed (a locked file can't be).
class LockableDir final {
public:
    LockableDir() = default;
    ~LockableDir()
    {
        test::setImmutableCapability(true);
        for (const QString& path : std::as_const(m_paths))
            (void)m_attributes.clearImmutable(path);
    }
    Q_DISABLE_COPY_MOVE(LockableDir)

    QString file(const QString& name, int mode = 0644)
    {
        QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("content") != 7)
            return {};
        file.close();
        ::chmod(QFile::encodeName(path).constData(), mode_t(mode));
        m_paths.append(path);
        return path;
    }
    // Whether this machine lets us set the flag here at all.
    bool canLock()
    {
        const QString probe = file(QStringLiteral("probe"));
        const auto locked = m_attributes.setPermissionsAndImmutable(probe, 0600);
        const bool result = locked && locked->locked;
        (void)m_attributes.clearImmutable(probe);
        return result;
    }
    QString path(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    InodeFileAttributes m_attributes;
    QStringList m_paths;
};

} // namespace

class TestFileAttributes : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void refusalsAreNotFailures_data();
    void refusalsAreNotFailures();
    void lockSetsPermissionsAndFlag_data();
    void lockSetsPermissionsAndFlag();
    void withoutPrivilegeOnlyPermissionsAreSet();
    void missingFileFailsWithItsPath();
    void neverThroughALink_data();
    void neverThroughALink();
};

void TestFileAttributes::refusalsAreNotFailures_data()
{
    QTest::addColumn<int>("errorNumber");
    QTest::addColumn<bool>("refusal");
    QTest::addRow("no privilege") << EPERM << true;
    QTest::addRow("not a file with attributes") << ENOTTY << true;
    QTest::addRow("file system without the flag") << EOPNOTSUPP << true;
    QTest::addRow("no such call") << ENOSYS << true;
    QTest::addRow("flag unknown to the file system") << EINVAL << true;
    QTest::addRow("read-only mount") << EROFS << false;
    QTest::addRow("missing file") << ENOENT << false;
    QTest::addRow("input/output error") << EIO << false;
    QTest::addRow("access denied") << EACCES << false;
}

void TestFileAttributes::refusalsAreNotFailures()
{
    QFETCH(int, errorNumber);
    QFETCH(bool, refusal);
    QCOMPARE(InodeFileAttributes::isRefusal(errorNumber), refusal);
}

void TestFileAttributes::lockSetsPermissionsAndFlag_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("lockedBefore");
    QTest::addRow("0644") << 0644 << false;
    QTest::addRow("0777") << 0777 << false;
    QTest::addRow("0400") << 0400 << false;
    QTest::addRow("already locked with 0644") << 0644 << true;
}

void TestFileAttributes::lockSetsPermissionsAndFlag()
{
    QFETCH(int, mode);
    QFETCH(bool, lockedBefore);
    LockableDir dir;
    if (!dir.canLock())
        QSKIP("this process can't set the immutable attribute here (no CAP_LINUX_IMMUTABLE or no support)");
    InodeFileAttributes attributes;
    const QString path = dir.file(QStringLiteral("signature"), mode);
    if (lockedBefore) {
        QVERIFY(attributes.setPermissionsAndImmutable(path, mode).has_value());
        QCOMPARE(attributes.isImmutable(path), true);
    }

    const auto lock = attributes.setPermissionsAndImmutable(path, 0600);
    QVERIFY2(lock.has_value(), why(lock).constData());
    QVERIFY(lock->locked);
    QVERIFY(lock->reason.isEmpty());
    QCOMPARE(modeOf(path), 0600);
    QCOMPARE(attributes.isImmutable(path), true);
    QFile writer(path);
    QVERIFY(!writer.open(QIODevice::WriteOnly | QIODevice::Append));
    QVERIFY(!QFile::remove(path));
    QVERIFY(!QFile::rename(path, dir.path(QStringLiteral("moved"))));

    QVERIFY(attributes.clearImmutable(path).has_value());
    QCOMPARE(attributes.isImmutable(path), false);
    QVERIFY(attributes.clearImmutable(path).has_value());
    QVERIFY(writer.open(QIODevice::WriteOnly | QIODevice::Append));
}

void TestFileAttributes::withoutPrivilegeOnlyPermissionsAreSet()
{
    LockableDir dir;
    InodeFileAttributes attributes;
    const bool privileged = dir.canLock();
    const QString locked = dir.file(QStringLiteral("locked"));
    if (privileged)
        QVERIFY(attributes.setPermissionsAndImmutable(locked, 0644).has_value());
    const QString path = dir.file(QStringLiteral("signature"), 0666);
    if (!test::setImmutableCapability(false))
        QSKIP("can't change this thread's capabilities");
    const auto lock = attributes.setPermissionsAndImmutable(path, 0600);
    const auto cleared = attributes.clearImmutable(path);
    const auto clearedLocked = attributes.clearImmutable(locked);
    QVERIFY(test::setImmutableCapability(true) || !privileged);

    QVERIFY2(lock.has_value(), why(lock).constData());
    QVERIFY(!lock->locked);
    // Without the capability, or on a file system without the attribute: either way a reason.
    QVERIFY2(lock->reason.contains(QLatin1String("CAP_LINUX_IMMUTABLE"))
            || lock->reason.contains(QLatin1String("no immutable attribute")),
        qPrintable(lock->reason));
    QCOMPARE(modeOf(path), 0600);
    QCOMPARE(attributes.isImmutable(path), false);
    // Nothing to clear is no failure; a lock that can't be lifted is.
    QVERIFY(cleared.has_value());
    if (privileged) {
        QVERIFY(!clearedLocked.has_value());
        QVERIFY2(clearedLocked.error().description.contains(locked),
            qPrintable(clearedLocked.error().description));
        QCOMPARE(attributes.isImmutable(locked), true);
    }
}

void TestFileAttributes::missingFileFailsWithItsPath()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("gone.mailsignature"));
    InodeFileAttributes attributes;
    const auto cleared = attributes.clearImmutable(path);
    const auto locked = attributes.setPermissionsAndImmutable(path, 0600);
    const auto asked = attributes.isImmutable(path);
    QVERIFY(!cleared && !locked && !asked);
    for (const QString& description :
        { cleared.error().description, locked.error().description, asked.error().description }) {
        QVERIFY2(description.contains(path), qPrintable(description));
        QVERIFY2(description.contains(qt_error_string(ENOENT)), qPrintable(description));
    }
}

// What took a signature's place: nothing it points at is unlocked, chmodded or locked.
void TestFileAttributes::neverThroughALink_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addRow("link to a file outside") << QStringLiteral("link");
    QTest::addRow("FIFO") << QStringLiteral("fifo");
}

void TestFileAttributes::neverThroughALink()
{
    QFETCH(QString, kind);
    QTemporaryDir outside;
    QTemporaryDir dir;
    const QString secret = outside.filePath(QStringLiteral("secret"));
    QFile file(secret);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(::chmod(QFile::encodeName(secret).constData(), 0640) == 0);
    // Should the lock reach it after all, the folder can still be removed.
    const auto unlock = qScopeGuard([&] { (void)InodeFileAttributes().clearImmutable(secret); });
    const QString path = dir.filePath(QStringLiteral("work.mailsignature"));
    if (kind == u"link")
        QVERIFY(QFile::link(secret, path));
    else
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0640) == 0);
    InodeFileAttributes attributes;
    const auto locked = attributes.setPermissionsAndImmutable(path, 0600);
    QVERIFY(!locked);
    QVERIFY2(locked.error().description.contains(QStringLiteral("not a regular file")), why(locked));
    QVERIFY(!attributes.clearImmutable(path));
    QCOMPARE(modeOf(secret), 0640);
    QCOMPARE(attributes.isImmutable(secret).value_or(true), false);
    struct stat status { };
    QVERIFY(::lstat(QFile::encodeName(path).constData(), &status) == 0);
    QCOMPARE(int(status.st_mode & 07777), kind == u"link" ? 0777 : 0640);
}

QTEST_GUILESS_MAIN(TestFileAttributes)
#include "tst_fileattributes.moc"
