#pragma once

#include <QWebEnginePage>

namespace veltrin {

// The preview's page: follows no link, opens no window, lets everything else load.
class PreviewPage final : public QWebEnginePage {
    Q_OBJECT

public:
    explicit PreviewPage(QWebEngineProfile* profile, QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(PreviewPage)

    // Link activation (a click, or a script setting the location) is refused; form
    // submissions, reloads, history moves and loading the page itself are allowed.
    static bool allowsNavigation(NavigationType type);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    // Links with a target and window.open() end here: no window is made.
    QWebEnginePage* createWindow(WebWindowType type) override;
};

} // namespace veltrin
