#include "BundleInfo.h"

namespace veltrin {

BundleInfo BundleInfo::current()
{
    return {QStringLiteral("org.veltrin.Veltrin"), QStringLiteral(VELTRIN_VERSION),
            QStringLiteral(VELTRIN_BUILD_NUMBER)};
}

} // namespace veltrin
