#pragma once

#include "ErrorReportingSdk.h"

#include <QList>

namespace veltrin {

// Our own error-reporting client. It keeps the options and the newest breadcrumbs in memory and
// sends nothing: this build has no transport to an error-reporting service.
class LocalErrorReporting final : public ErrorReportingSdk {
public:
    static constexpr qsizetype kMaxBreadcrumbs = 100;

    LocalErrorReporting() = default;
    Q_DISABLE_COPY_MOVE(LocalErrorReporting)

    // Enabled only when the DSN names a scheme, a host and a public key.
    void start(const Configure& configure) override;
    bool isEnabled() const override;
    void addBreadcrumb(const Breadcrumb& breadcrumb) override;

    int startCount() const { return m_startCount; }
    ErrorReportingOptions options() const { return m_options; }
    QList<Breadcrumb> breadcrumbs() const { return m_breadcrumbs; }

    static bool isUsableDsn(const QString& dsn);

private:
    ErrorReportingOptions m_options;
    QList<Breadcrumb> m_breadcrumbs;
    bool m_enabled = false;
    int m_startCount = 0;
};

} // namespace veltrin
