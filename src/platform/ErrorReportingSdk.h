#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace veltrin {

// The options an error-reporting client starts with. Each setter also notes its option's name,
// so that the order in which a configuration step set them can be checked.
class ErrorReportingOptions {
public:
    void setDsn(const QString& dsn)
    {
        m_dsn = dsn;
        m_setOrder << QStringLiteral("dsn");
    }
    void setTracesSampleRate(double rate)
    {
        m_tracesSampleRate = rate;
        m_setOrder << QStringLiteral("tracesSampleRate");
    }
    void setEnableAppHangTracking(bool on)
    {
        m_enableAppHangTracking = on;
        m_setOrder << QStringLiteral("enableAppHangTracking");
    }
    void setSendDefaultPii(bool on)
    {
        m_sendDefaultPii = on;
        m_setOrder << QStringLiteral("sendDefaultPii");
    }
    void setEnvironment(const QString& environment)
    {
        m_environment = environment;
        m_setOrder << QStringLiteral("environment");
    }

    QString dsn() const { return m_dsn; }
    std::optional<double> tracesSampleRate() const { return m_tracesSampleRate; }
    bool enableAppHangTracking() const { return m_enableAppHangTracking; }
    bool sendDefaultPii() const { return m_sendDefaultPii; }
    QString environment() const { return m_environment; }
    QStringList setOrder() const { return m_setOrder; }

private:
    QString m_dsn;
    std::optional<double> m_tracesSampleRate;
    bool m_enableAppHangTracking = false;
    bool m_sendDefaultPii = false;
    QString m_environment;
    QStringList m_setOrder;
};

enum class BreadcrumbLevel { none = 0, debug = 1, info = 2, warning = 3, error = 4, fatal = 5 };

struct Breadcrumb {
    BreadcrumbLevel level = BreadcrumbLevel::info;
    QString category;
    QString type;
    QString message;
    std::optional<QVariantMap> data; // absent: the breadcrumb carries no data at all
};

// The error- and crash-reporting client. Used only from the main thread.
class ErrorReportingSdk {
public:
    using Configure = std::function<void(ErrorReportingOptions&)>;

    virtual ~ErrorReportingSdk() = default;

    // Makes a fresh options object, runs configure on it once, then starts with those options.
    virtual void start(const Configure& configure) = 0;
    // True while the client is started and running.
    virtual bool isEnabled() const = 0;
    // Recorded with the current scope, to go with later reports; ignored while not enabled.
    virtual void addBreadcrumb(const Breadcrumb& breadcrumb) = 0;
};

} // namespace veltrin
