#include "FakeFileAttributes.h"

namespace veltrin::test {

void FakeFileAttributes::record(const QString& operation, const QString& path)
{
    m_calls.append(operation + u' ' + path);
    if (m_hook)
        m_hook(operation, path);
}

std::expected<void, Error> FakeFileAttributes::clearImmutable(const QString& path)
{
    record(QStringLiteral("clear"), path);
    if (m_clearError)
        return std::unexpected(*m_clearError);
    m_immutable.remove(path);
    return {};
}

std::expected<LockResult, Error> FakeFileAttributes::setPermissionsAndImmutable(
    const QString& path, int posixPermissions)
{
    record(QStringLiteral("lock"), path);
    if (m_lockError)
        return std::unexpected(*m_lockError);
    m_permissions.insert(path, posixPermissions);
    if (m_refusal)
        return LockResult { false, *m_refusal };
    m_immutable.insert(path);
    return LockResult { true, {} };
}

std::expected<bool, Error> FakeFileAttributes::isImmutable(const QString& path) const
{
    return m_immutable.contains(path);
}

std::optional<int> FakeFileAttributes::permissions(const QString& path) const
{
    const auto found = m_permissions.constFind(path);
    if (found == m_permissions.constEnd())
        return std::nullopt;
    return *found;
}

} // namespace veltrin::test
