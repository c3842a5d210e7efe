#pragma once

#include <QString>

namespace veltrin {

// What the application bundle says about itself: identifier, version and build number.
struct BundleInfo {
    QString identifier;
    QString shortVersion; // the user-facing version, e.g. "0.1.0"
    QString version;      // the build number

    // The values this build was made with.
    static BundleInfo current();
};

} // namespace veltrin
