#include "preview/PreviewPage.h"

#include <QWebEngineSettings>

namespace veltrin {

PreviewPage::PreviewPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent)
{
    QWebEngineSettings* s = settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    s->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    s->setAttribute(QWebEngineSettings::HyperlinkAuditingEnabled, false);
    s->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    s->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    s->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
    s->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
    s->setAttribute(QWebEngineSettings::WebGLEnabled, false);
    s->setAttribute(QWebEngineSettings::AllowRunningInsecureContent, false);
    s->setAttribute(QWebEngineSettings::AllowGeolocationOnInsecureOrigins, false);
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    s->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
    connect(
        this, &QWebEnginePage::featurePermissionRequested, this, [this](const QUrl& origin, Feature feature) {
            setFeaturePermission(origin, feature, PermissionDeniedByUser);
        });
}

bool PreviewPage::allowsNavigation(
    const QUrl& url, NavigationType type, bool isMainFrame, const QUrl& ownPage)
{
    return isMainFrame && type != NavigationTypeLinkClicked && !ownPage.isEmpty() && url == ownPage;
}

void PreviewPage::loadOwnPage(const QUrl& url)
{
    m_ownPage = url;
    load(url);
}

bool PreviewPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame)
{
    return allowsNavigation(url, type, isMainFrame, m_ownPage);
}

QWebEnginePage* PreviewPage::createWindow(WebWindowType)
{
    return nullptr;
}

QStringList PreviewPage::chooseFiles(FileSelectionMode, const QStringList&, const QStringList&)
{
    return {};
}

void PreviewPage::javaScriptAlert(const QUrl&, const QString&)
{
}

bool PreviewPage::javaScriptConfirm(const QUrl&, const QString&)
{
    return false;
}

bool PreviewPage::javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*)
{
    return false;
}

} // namespace veltrin
