#include "preview/PreviewRequestInterceptor.h"

#include "preview/PreviewSchemeHandler.h"

#include <QHostAddress>
#include <QNetworkProxy>
#include <QUrl>

#include <optional>

#include <string_view>

namespace veltrin {

namespace {

bool inRange(const QHostAddress& address, const char* subnet)
{
    return address.isInSubnet(QHostAddress::parseSubnet(QString::fromLatin1(subnet)));
}

// The application's proxy settings when the engine was pointed at the preview's proxy.
struct ProxySettings {
    bool systemConfiguration = false;
    QNetworkProxy applicationProxy;

    static ProxySettings current()
    {
        return { QNetworkProxyFactory::usesSystemConfiguration(), QNetworkProxy::applicationProxy() };
    }
    bool operator==(const ProxySettings&) const = default;
};

std::optional<ProxySettings>& routedWith()
{
    static std::optional<ProxySettings> settings;
    return settings;
}

} // namespace

PreviewRequestInterceptor::PreviewRequestInterceptor(QObject* parent)
    : QWebEngineUrlRequestInterceptor(parent)
{
}

bool PreviewRequestInterceptor::isLocalAddress(const QHostAddress& given)
{
    QHostAddress address = given;
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    if (mapped)
        address = QHostAddress(ipv4); // ::ffff:127.0.0.1 is 127.0.0.1
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        for (const char* subnet :
            { "0.0.0.0/8", "10.0.0.0/8", "100.64.0.0/10", "127.0.0.0/8", "169.254.0.0/16", "172.16.0.0/12",
                "192.0.0.0/24", "192.168.0.0/16", "198.18.0.0/15", "224.0.0.0/3" })
            if (inRange(address, subnet))
                return true;
        return false;
    }
    for (const char* subnet : { "::/127", "fe80::/10", "fec0::/10", "fc00::/7", "ff00::/8", "64:ff9b::/96" })
        if (inRange(address, subnet)) {
            // NAT64 addresses are local only when the IPv4 address inside is.
            if (std::string_view(subnet) == "64:ff9b::/96") {
                const Q_IPV6ADDR bytes = address.toIPv6Address();
                return isLocalAddress(QHostAddress(quint32(bytes[12]) << 24 | quint32(bytes[13]) << 16
                    | quint32(bytes[14]) << 8 | quint32(bytes[15])));
            }
            return true;
        }
    return false;
}

bool PreviewRequestInterceptor::isLocalHost(const QString& host)
{
    QString name = host.toLower();
    if (name.startsWith(u'[') && name.endsWith(u']'))
        name = name.mid(1, name.size() - 2);
    while (name.endsWith(u'.'))
        name.chop(1);
    if (QHostAddress address; address.setAddress(name))
        return isLocalAddress(address);
    if (!name.contains(u'.'))
        return true;
    for (const QStringView suffix : { u".localhost", u".local", u".home.arpa", u".internal" })
        if (name.endsWith(suffix))
            return true;
    return false;
}

bool PreviewRequestInterceptor::allowsRequest(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String(PreviewSchemeHandler::schemeName()) || scheme == u"data")
        return true;
    if (scheme != u"http" && scheme != u"https")
        return false;
    return !url.host().isEmpty() && !isLocalHost(url.host());
}

void PreviewRequestInterceptor::routeEngineThroughProxy(quint16 port)
{
    if (routedWith())
        return;
    routedWith() = ProxySettings::current();
    // Without a listening proxy the engine is pointed at a port where nobody answers (discard):
    // remote content stays away rather than going around the check.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    // Of two switches of one name the later wins, so a user's own cannot undo these.
    flags += " --proxy-server=socks5://127.0.0.1:" + QByteArray::number(port != 0 ? port : 9)
        + " --proxy-bypass-list=<-loopback>";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

bool PreviewRequestInterceptor::engineRouteIntact()
{
    const std::optional<ProxySettings>& settings = routedWith();
    return settings.has_value() && settings.value() == ProxySettings::current();
}

void PreviewRequestInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    const QUrl url = info.requestUrl();
    const QString scheme = url.scheme().toLower();
    const bool remote = scheme != QLatin1String(PreviewSchemeHandler::schemeName()) && scheme != u"data";
    if (!allowsRequest(url) || (remote && !engineRouteIntact()))
        info.block(true);
}

} // namespace veltrin
