#pragma once

// The whole application over a scratch home folder that holds a copy of the sample Mail
// signatures folder, with a fake folder panel that the test answers. Header-only: it needs the
// application's library, which only the application's tests link.

#include "FakeFileAttributes.h"
#include "FakeFolderPanel.h"
#include "FakeRunningApplications.h"
#include "ScriptedFileOperations.h"
#include "app/window/ContentView.h"
#include "app/window/Updater.h"
#include "app/window/VeltrinApp.h"
#include "platform/BookmarkFolderAccess.h"
#include "platform/Preferences.h"
#include "platform/UpdateFramework.h"
#include "store/SignatureService.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

namespace veltrin::test {

class SampleApplication final {
public:
    // As on a first launch, or with the sample folder already granted, so that it opens on the list.
    enum class Start { firstLaunch, folderGranted };

    explicit SampleApplication(Start start = Start::firstLaunch)
        : m_preferences(m_home.filePath(QStringLiteral("preferences.ini")))
        , m_signatures(m_home.filePath(QStringLiteral("Library/Mail/V11/MailData/Signatures")))
    {
        const QDir source(QStringLiteral(VELTRIN_EXAMPLES_DIR "/home/Library/Mail/V11/MailData/Signatures"));
        QDir().mkpath(m_signatures);
        const QStringList names = source.entryList(QDir::Files);
        for (const QString& name : names)
            QFile::copy(source.filePath(name), m_signatures + u'/' + name);
        if (start == Start::folderGranted)
            m_preferences.set(SignatureService::bookmarkKey,
                m_folderAccess.bookmarkData(QUrl::fromLocalFile(m_signatures)).value());

        m_app = std::make_unique<VeltrinApp>(VeltrinApp::Services {
            .preferences = m_preferences,
            .folderAccess = m_folderAccess,
            .folderPanel = m_panel,
            .runningApplications = m_running,
            .fileAttributes = m_attributes,
            .files = m_files,
            .homeFolder = m_home.path(),
            .startTelemetry = [] {},
            .makeUpdater = [] { return std::make_unique<Updater>(std::make_unique<IdleUpdateFramework>()); },
        });
    }
    ~SampleApplication()
    {
        m_app.reset();
    }
    Q_DISABLE_COPY_MOVE(SampleApplication)

    VeltrinApp& app() const { return *m_app; }
    QMainWindow* window() const { return m_app->window(); }
    ContentView* content() const { return m_app->contentView(); }
    FakeFolderPanel& panel() { return m_panel; }
    FakeRunningApplications& running() { return m_running; }
    FakeFileAttributes& attributes() { return m_attributes; }
    QString home() const { return m_home.path(); }
    QString signaturesFolder() const { return m_signatures; }

private:
    class IdleUpdateFramework final : public UpdateFramework {
    public:
        bool canCheckForUpdates() const override { return true; }
        void checkForUpdates() override { }
    };

    QTemporaryDir m_home;
    SettingsPreferences m_preferences;
    BookmarkFolderAccess m_folderAccess;
    FakeFolderPanel m_panel;
    FakeRunningApplications m_running;
    // Saves write real files; their locks stay in memory.
    FakeFileAttributes m_attributes;
    ScriptedFileOperations m_files;
    QString m_signatures;
    std::unique_ptr<VeltrinApp> m_app;
};

} // namespace veltrin::test
