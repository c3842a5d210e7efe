#include "preview/HTMLPreviewView.h"

#include "preview/PreviewPage.h"
#include "preview/PreviewRequestInterceptor.h"
#include "preview/PreviewSchemeHandler.h"
#include "preview/PublicOnlyProxy.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QWebEngineContextMenuRequest>
#include <QWebEngineProfile>

namespace veltrin {

namespace {

QWebEngineProfile* guardedProfile(QObject* parent)
{
    PreviewRequestInterceptor::routeEngineThroughProxy(PublicOnlyProxy::shared().port());
    return new QWebEngineProfile(parent); // off the record: nothing of a preview is kept on disk
}

} // namespace

HTMLPreviewView::HTMLPreviewView(QWidget* parent)
    : QWebEngineView(parent)
    , m_profile(guardedProfile(this))
    , m_schemeHandler(new PreviewSchemeHandler(this))
    , m_interceptor(new PreviewRequestInterceptor(this))
{
    if (PreviewSchemeHandler::isSchemeRegistered())
        m_profile->installUrlSchemeHandler(PreviewSchemeHandler::schemeName(), m_schemeHandler);
    else
        qWarning("The preview's URL scheme was registered too late; previews stay empty.");
    m_profile->setUrlRequestInterceptor(m_interceptor);
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    m_page = new PreviewPage(m_profile, this);
    setPage(m_page);
}

HTMLPreviewView::~HTMLPreviewView()
{
    // The web engine wants every page gone before its profile.
    delete m_page;
    m_page = nullptr;
    delete m_profile;
    m_profile = nullptr;
}

void HTMLPreviewView::registerUrlScheme()
{
    PreviewSchemeHandler::registerScheme();
}

QString HTMLPreviewView::pageText(const QString& htmlContent, ColorScheme colorScheme)
{
    const bool dark = colorScheme == ColorScheme::dark;
    const QString schemeWord = dark ? QStringLiteral("dark") : QStringLiteral("light");
    const QString background = dark ? QStringLiteral("#1c1c1e") : QStringLiteral("#ffffff");
    const QString text = dark ? QStringLiteral("#ffffff") : QStringLiteral("#000000");
    QString page;
    page.reserve(htmlContent.size() + 720);
    page += QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n    <meta charset=\"UTF-8\">\n"
                           "    <meta name=\"viewport\" content=\"width=device-width, initial-scale=1.0\">\n"
                           "    <meta name=\"color-scheme\" content=\"");
    page += schemeWord;
    page += QStringLiteral("\">\n    <style>\n        * {\n            margin: 0;\n            padding: 0;\n"
                           "            box-sizing: border-box;\n        }\n        html {\n"
                           "            background-color: ");
    page += background;
    page
        += QStringLiteral(";\n        }\n        body {\n            margin: 0;\n            padding: 20px;\n"
                          "            font-family: -apple-system, BlinkMacSystemFont, 'Segoe UI', Roboto, "
                          "Helvetica, Arial, sans-serif;\n            background-color: ");
    page += background;
    page += QStringLiteral(" !important;\n            color: ");
    page += text;
    page += QStringLiteral(" !important;\n            min-height: 100vh;\n        }\n    </style>\n</head>\n"
                           "<body>\n    ");
    page += htmlContent;
    page += QStringLiteral("\n</body>\n</html>");
    return page;
}

QColor HTMLPreviewView::layerColor(ColorScheme colorScheme)
{
    return colorScheme == ColorScheme::dark ? QColor::fromRgbF(0.11f, 0.11f, 0.12f, 1.0f) : QColor(Qt::white);
}

void HTMLPreviewView::updatePage(const QString& htmlContent, ColorScheme colorScheme)
{
    m_htmlContent = htmlContent;
    m_colorScheme = colorScheme;
    const QString page = pageText(htmlContent, colorScheme);
    m_page->setBackgroundColor(layerColor(colorScheme));
    m_page->loadOwnPage(m_schemeHandler->publish(page.toUtf8()));
}

void HTMLPreviewView::setLoadFinishedHandler(std::function<void(bool)> handler)
{
    connect(this, &QWebEngineView::loadFinished, this, std::move(handler));
}

void HTMLPreviewView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setObjectName(QStringLiteral("previewContextMenu"));
    const QWebEngineContextMenuRequest* request = lastContextMenuRequest();
    const QList<QWebEnginePage::WebAction> copying { QWebEnginePage::Copy,
        QWebEnginePage::CopyLinkToClipboard, QWebEnginePage::CopyImageToClipboard };
    for (const QWebEnginePage::WebAction action : copying) {
        const bool applies = action == QWebEnginePage::Copy ? request && !request->selectedText().isEmpty()
            : action == QWebEnginePage::CopyLinkToClipboard
            ? request && request->linkUrl().isValid()
            : request && request->mediaType() == QWebEngineContextMenuRequest::MediaTypeImage;
        if (applies)
            menu->addAction(m_page->action(action));
    }
    if (menu->isEmpty()) {
        delete menu;
        return;
    }
    menu->popup(event->globalPos());
}

} // namespace veltrin
