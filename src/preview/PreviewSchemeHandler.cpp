#include "preview/PreviewSchemeHandler.h"

#include <QBuffer>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

namespace veltrin {

PreviewSchemeHandler::PreviewSchemeHandler(QObject* parent)
    : QWebEngineUrlSchemeHandler(parent)
{
}

QByteArray PreviewSchemeHandler::schemeName()
{
    return QByteArrayLiteral("veltrin-preview");
}

void PreviewSchemeHandler::registerScheme()
{
    if (isSchemeRegistered())
        return;
    QWebEngineUrlScheme scheme(schemeName());
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Without a default port the web engine drops a host-syntax scheme.
    scheme.setDefaultPort(80);
    QWebEngineUrlScheme::registerScheme(scheme);
}

bool PreviewSchemeHandler::isSchemeRegistered()
{
    return QWebEngineUrlScheme::schemeByName(schemeName()).name() == schemeName();
}

QUrl PreviewSchemeHandler::publish(const QByteArray& page)
{
    m_page = page;
    m_url = QUrl(QString::fromLatin1(schemeName()) + u"://page/" + QString::number(++m_serial));
    return m_url;
}

void PreviewSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job)
{
    if (job->requestMethod() != "GET" || job->requestUrl() != m_url) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    auto* buffer = new QBuffer(job);
    buffer->setData(m_page);
    buffer->open(QIODevice::ReadOnly);
    job->reply(QByteArrayLiteral("text/html;charset=utf-8"), buffer);
}

} // namespace veltrin
