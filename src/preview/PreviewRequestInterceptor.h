#pragma once

#include <QWebEngineUrlRequestInterceptor>

class QHostAddress;

namespace veltrin {

// Sees every request of the preview's profile, whatever element or scheme makes it. Lets through
// the preview's own page, data: addresses and http(s) to public hosts; refuses files and any
// address on this machine or its local network.
class PreviewRequestInterceptor final : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT

public:
    explicit PreviewRequestInterceptor(QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(PreviewRequestInterceptor)

    static bool allowsRequest(const QUrl& url);
    // Loopback, link-local, private, shared, multicast or unspecified; names that stay on the
    // local network (localhost, .local, names without a dot) count as local too.
    static bool isLocalHost(const QString& host);
    // Loopback, link-local, private, shared, multicast or unspecified, IPv4 inside IPv6 included.
    static bool isLocalAddress(const QHostAddress& address);

    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
};

} // namespace veltrin
