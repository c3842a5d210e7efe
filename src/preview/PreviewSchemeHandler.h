#pragma once

#include <QByteArray>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

namespace veltrin {

// Serves the preview's current page from memory. Pages of any size load this way, which
// data: addresses (and so setHtml) don't allow; only the page last published is served, so
// relative addresses inside it resolve to nothing, as they would without a base address.
class PreviewSchemeHandler final : public QWebEngineUrlSchemeHandler {
    Q_OBJECT

public:
    explicit PreviewSchemeHandler(QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(PreviewSchemeHandler)

    static QByteArray schemeName();
    // Registers the scheme with the web engine; must run before any web engine profile exists.
    static void registerScheme();
    static bool isSchemeRegistered();

    // Keeps the page and returns a new address that serves it.
    QUrl publish(const QByteArray& page);
    QUrl currentUrl() const { return m_url; }

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    QByteArray m_page;
    QUrl m_url;
    quint64 m_serial = 0;
};

} // namespace veltrin
