#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace veltrin::test {

QString fixturePath(const QString& relativePath)
{
    return QDir(QStringLiteral(VELTRIN_FIXTURES_DIR)).absoluteFilePath(relativePath);
}

QByteArray readFixture(const QString& relativePath)
{
    QFile file(fixturePath(relativePath));
    if (!file.open(QIODevice::ReadOnly)) {
        QTest::qFail(
            qPrintable(QStringLiteral("cannot read fixture ") + file.fileName()), __FILE__, __LINE__);
        return {};
    }
    return file.readAll();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QPalette darkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::WindowText, QColor(255, 255, 255, 217));
    dark.setColor(QPalette::Base, QColor(0x28, 0x28, 0x28));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::Button, QColor(0x32, 0x32, 0x32));
    dark.setColor(QPalette::ButtonText, Qt::white);
    return dark;
}

std::optional<QDir> requestedScreenshotDir()
{
    const QString wanted = qEnvironmentVariable("VELTRIN_SCREENSHOTS");
    if (wanted.isEmpty() || !QDir().mkpath(wanted))
        return std::nullopt;
    return QDir(wanted);
}

QDir screenshotDir()
{
    if (const std::optional<QDir> wanted = requestedScreenshotDir())
        return *wanted;
    static QTemporaryDir scratch;
    return QDir(scratch.path());
}

QStringList proxyVariables()
{
    QStringList names;
    for (const char* scheme : { "http", "https", "ftp", "all", "no" })
        names << QString::fromLatin1(scheme) + QStringLiteral("_proxy")
              << QString::fromLatin1(scheme).toUpper() + QStringLiteral("_PROXY");
    return names;
}

void clearProxyVariables()
{
    for (const QString& name : proxyVariables())
        qunsetenv(name.toLatin1().constData());
}

bool inCi()
{
    return qEnvironmentVariable("CI") == u"true";
}

bool placeNonRegularFile(const QByteArray& path, const QString& kind, const QByteArray& linkTarget)
{
    if (kind == u"outside link")
        return ::symlink(linkTarget.constData(), path.constData()) == 0;
    if (kind == u"zero link")
        return ::symlink("/dev/zero", path.constData()) == 0;
    if (kind == u"fifo")
        return ::mkfifo(path.constData(), 0644) == 0;
    if (kind == u"device")
        return ::mknod(path.constData(), S_IFCHR | 0644, makedev(1, 5)) == 0;
    return false;
}

} // namespace veltrin::test
