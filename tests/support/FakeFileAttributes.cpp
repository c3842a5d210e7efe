#include "FakeFileAttributes.h"

namespace veltrin::test {

namespace {

// Files are told apart by their bytes, as the file system does.
QString keyOf(const QUrl& file)
{
    return file.toString(QUrl::FullyEncoded);
}

} // namespace

void FakeFileAttributes::record(const QString& operation, const QString& path)
{
    m_calls.append(operation + u' ' + path);
    if (m_hook)
        m_hook(operation, path);
}

std::expected<void, Error> FakeFileAttributes::clearImmutable(const QUrl& file)
{
    const QString path = file.toLocalFile();
    record(QStringLiteral("clear"), path);
    if (m_clearError)
        return std::unexpected(*m_clearError);
    m_immutable.remove(keyOf(file));
    return {};
}

std::expected<LockResult, Error> FakeFileAttributes::setPermissionsAndImmutable(const QUrl& file, int posixPermissions)
{
    const QString path = file.toLocalFile();
    record(QStringLiteral("lock"), path);
    if (m_lockError)
        return std::unexpected(*m_lockError);
    m_permissions.insert(keyOf(file), posixPermissions);
    if (m_refusal)
        return LockResult { false, *m_refusal };
    m_immutable.insert(keyOf(file));
    return LockResult { true, {} };
}

std::expected<bool, Error> FakeFileAttributes::isImmutable(const QUrl& file) const
{
    return m_immutable.contains(keyOf(file));
}

std::optional<int> FakeFileAttributes::permissions(const QString& path) const
{
    const auto found = m_permissions.constFind(keyOf(QUrl::fromLocalFile(path)));
    if (found == m_permissions.constEnd())
        return std::nullopt;
    return *found;
}

} // namespace veltrin::test
