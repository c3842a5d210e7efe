#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace veltrin::test {

QString fixturePath(const QString& relativePath)
{
    return QDir(QStringLiteral(VELTRIN_FIXTURES_DIR)).absoluteFilePath(relativePath);
}

QByteArray readFixture(const QString& relativePath)
{
    QFile file(fixturePath(relativePath));
    if (!file.open(QIODevice::ReadOnly)) {
        QTest::qFail(qPrintable(QStringLiteral("cannot read fixture ") + file.fileName()), __FILE__, __LINE__);
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

QDir screenshotDir()
{
    const QString wanted = qEnvironmentVariable("VELTRIN_SCREENSHOT_DIR");
    if (!wanted.isEmpty() && QDir().mkpath(wanted))
        return QDir(wanted);
    static QTemporaryDir scratch;
    return QDir(scratch.path());
}

} // namespace veltrin::test
