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

    // Points every connection of the engine, to this machine too (Chromium otherwise never
    // proxies loopback), at the proxy on 127.0.0.1 at `port`, which resolves names itself and
    // connects only to public addresses: redirects and every later hop meet its check when they
    // connect. Takes effect only before the engine's first profile exists; later calls do nothing.
    static void routeEngineThroughProxy(quint16 port);
    // The engine follows the application's proxy settings over the route it was started with, and
    // then goes straight, to loopback too: while they differ from what they were at the start,
    // nothing remote is let through.
    static bool engineRouteIntact();
    // Loopback, link-local, private, shared, multicast or unspecified; names that stay on the
    // local network (localhost, .local, names without a dot) count as local too.
    static bool isLocalHost(const QString& host);
    // Loopback, link-local, private, shared, multicast or unspecified, IPv4 inside IPv6 included.
    static bool isLocalAddress(const QHostAddress& address);

    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
};

} // namespace veltrin
