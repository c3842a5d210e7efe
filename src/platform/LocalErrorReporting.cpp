#include "LocalErrorReporting.h"

#include <QUrl>

namespace veltrin {

void LocalErrorReporting::start(const Configure& configure)
{
    ErrorReportingOptions options;
    if (configure)
        configure(options);
    m_options = options;
    ++m_startCount;
    m_enabled = isUsableDsn(options.dsn());
}

bool LocalErrorReporting::isEnabled() const
{
    return m_enabled;
}

void LocalErrorReporting::addBreadcrumb(const Breadcrumb& breadcrumb)
{
    if (!m_enabled)
        return;
    m_breadcrumbs.append(breadcrumb);
    if (m_breadcrumbs.size() > kMaxBreadcrumbs)
        m_breadcrumbs.remove(0, m_breadcrumbs.size() - kMaxBreadcrumbs);
}

bool LocalErrorReporting::isUsableDsn(const QString& dsn)
{
    const QUrl url(dsn, QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty() && !url.host().isEmpty() && !url.userName().isEmpty();
}

} // namespace veltrin
