#pragma once

#include <QUrl>
#include <QWebEnginePage>

namespace veltrin {

// The preview's page: shows only the page it was given, runs no script, opens no dialog,
// window or file chooser.
class PreviewPage final : public QWebEnginePage {
    Q_OBJECT

public:
    explicit PreviewPage(QWebEngineProfile* profile, QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(PreviewPage)

    // Only the preview's own page, in the main frame and not by a click; whatever the type,
    // since redirects, refreshes and script-submitted forms all arrive with types of their own.
    static bool allowsNavigation(const QUrl& url, NavigationType type, bool isMainFrame, const QUrl& ownPage);

    // The page about to be loaded; every other address is refused.
    void loadOwnPage(const QUrl& url);
    QUrl ownPage() const { return m_ownPage; }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    // Links with a target and window.open() end here: no window is made.
    QWebEnginePage* createWindow(WebWindowType type) override;
    QStringList chooseFiles(
        FileSelectionMode mode, const QStringList& oldFiles, const QStringList& acceptedMimeTypes) override;
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg, const QString& defaultValue,
        QString* result) override;

private:
    QUrl m_ownPage;
};

} // namespace veltrin
