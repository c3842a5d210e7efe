#pragma once

#include "platform/NoFollowFileOperations.h"

#include <QStringList>

#include <functional>

namespace veltrin::test {

// The real file operations, with the listing replaceable (to order it or make it fail) and a
// hook that runs before every operation with its name and target, where a test swaps files.
class ScriptedFileOperations final : public FileOperations {
public:
    using Lister = std::function<std::expected<QList<FolderEntry>, Error>(const QUrl& folder)>;
    using Hook = std::function<void(const QString& operation, const QUrl& target)>;

    ScriptedFileOperations() = default;
    Q_DISABLE_COPY_MOVE(ScriptedFileOperations)

    void setLister(Lister lister) { m_lister = std::move(lister); }
    void onCall(Hook hook) { m_hook = std::move(hook); }
    NoFollowFileOperations& real() { return m_real; }

    std::expected<QByteArray, Error> readFile(const QUrl& file, qint64 maxSize) const override
    {
        call(QStringLiteral("read"), file);
        return m_real.readFile(file, maxSize);
    }
    std::expected<QByteArray, Error> copyToNewFile(const QUrl& source, const QUrl& target, qint64 maxSize) override
    {
        call(QStringLiteral("copy"), source);
        return m_real.copyToNewFile(source, target, maxSize);
    }
    std::expected<void, Error> replaceFile(const QUrl& file, const QByteArray& bytes) override
    {
        call(QStringLiteral("replace"), file);
        return m_real.replaceFile(file, bytes);
    }
    std::expected<void, Error> makeFolder(const QUrl& folder) override
    {
        call(QStringLiteral("makeFolder"), folder);
        return m_real.makeFolder(folder);
    }
    std::expected<QList<FolderEntry>, Error> listFolder(const QUrl& folder) const override
    {
        call(QStringLiteral("list"), folder);
        return m_lister ? m_lister(folder) : m_real.listFolder(folder);
    }
    std::optional<FileStatus> status(const QUrl& file) const override { return m_real.status(file); }

private:
    void call(const QString& operation, const QUrl& target) const
    {
        if (m_hook)
            m_hook(operation, target);
    }

    NoFollowFileOperations m_real;
    Lister m_lister;
    Hook m_hook;
};

// One real file layer for tests that need no script.
inline NoFollowFileOperations& realFiles()
{
    static NoFollowFileOperations files;
    return files;
}

} // namespace veltrin::test
