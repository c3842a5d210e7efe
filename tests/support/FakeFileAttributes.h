#pragma once

#include "platform/FileAttributes.h"

#include <QHash>
#include <QSet>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <optional>

namespace veltrin::test {

// Keeps the immutable flag in memory, records every call and fails on request. Touches
// no file.
class FakeFileAttributes final : public FileAttributes {
public:
    FakeFileAttributes() = default;
    Q_DISABLE_COPY_MOVE(FakeFileAttributes)

    using FileAttributes::clearImmutable;
    using FileAttributes::isImmutable;
    using FileAttributes::setPermissionsAndImmutable;
    std::expected<void, Error> clearImmutable(const QUrl& file) override;
    std::expected<LockResult, Error> setPermissionsAndImmutable(const QUrl& file, int posixPermissions) override;
    std::expected<bool, Error> isImmutable(const QUrl& file) const override;

    // "clear" or "lock", and the path, in the order of the calls.
    QStringList calls() const { return m_calls; }
    std::optional<int> permissions(const QString& path) const;

    void failClearWith(const QString& description) { m_clearError = Error { description }; }
    void failLockWith(const QString& description) { m_lockError = Error { description }; }
    // The flag is refused, as without privilege; permissions are still recorded.
    void refuseLock(const QString& reason) { m_refusal = reason; }
    // Called at the start of each call, with "clear" or "lock" and the path.
    void onCall(std::function<void(const QString&, const QString&)> hook) { m_hook = std::move(hook); }

private:
    void record(const QString& operation, const QString& path);

    QStringList m_calls;
    QSet<QString> m_immutable;
    QHash<QString, int> m_permissions;
    std::optional<Error> m_clearError;
    std::optional<Error> m_lockError;
    std::optional<QString> m_refusal;
    std::function<void(const QString&, const QString&)> m_hook;
};

} // namespace veltrin::test
