#include "preview/PreviewPage.h"

namespace veltrin {

PreviewPage::PreviewPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent)
{
}

bool PreviewPage::allowsNavigation(NavigationType type)
{
    return type != NavigationTypeLinkClicked;
}

bool PreviewPage::acceptNavigationRequest(const QUrl&, NavigationType type, bool)
{
    return allowsNavigation(type);
}

QWebEnginePage* PreviewPage::createWindow(WebWindowType)
{
    return nullptr;
}

} // namespace veltrin
