#include "DeviceInfo.h"

#include <QFile>
#include <QRegularExpression>

#include <sys/utsname.h>

namespace veltrin {

namespace {

// A product name is a short line; anything longer is not one.
constexpr qint64 kMaxProductNameBytes = 256;

QString unameRelease()
{
    utsname name {};
    if (uname(&name) != 0)
        return {};
    return QString::fromUtf8(name.release);
}

} // namespace

DeviceInfo::DeviceInfo()
    : m_sources { QString(), QStringLiteral("/sys/devices/virtual/dmi/id/product_name") }
{
}

DeviceInfo::DeviceInfo(Sources sources)
    : m_sources(std::move(sources))
{
}

QString DeviceInfo::os() const
{
    return QStringLiteral("Linux");
}

QString DeviceInfo::osVersion() const
{
    return versionFromRelease(m_sources.kernelRelease.isEmpty() ? unameRelease() : m_sources.kernelRelease);
}

QString DeviceInfo::hardwareModel() const
{
    if (m_sources.productNamePath.isEmpty())
        return {};
    QFile file(m_sources.productNamePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.read(kMaxProductNameBytes + 1);
    if (bytes.size() > kMaxProductNameBytes)
        return {};
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromUtf8(bytes).trimmed();
}

QString DeviceInfo::versionFromRelease(const QString& release)
{
    // "6.1.0-18-amd64" -> 6.1.0, "5.10" -> 5.10.0; whatever follows the numbers is the vendor's.
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{1,9})(?!\\d)(?:\\.(\\d{1,9})(?!\\d))?(?:\\.(\\d{1,9})(?!\\d))?"));
    const QRegularExpressionMatch match = pattern.match(release.trimmed());
    if (!match.hasMatch())
        return QStringLiteral("0.0.0");
    const auto part = [&match](int index) {
        const QString text = match.captured(index);
        return text.isEmpty() ? QStringLiteral("0") : QString::number(text.toLongLong());
    };
    return part(1) + u'.' + part(2) + u'.' + part(3);
}

} // namespace veltrin
