#pragma once

#include <QString>

namespace veltrin {

// What the running machine says about itself: operating system, its version and the hardware
// model. Every call reads afresh, so a long-running process reports what is true now.
class DeviceInfo {
public:
    // Where the answers come from; tests point these at values of their own.
    struct Sources {
        QString kernelRelease; // uname's release text; the empty text asks uname itself
        QString productNamePath; // a DMI product name file; the empty text means none
    };

    DeviceInfo();
    explicit DeviceInfo(Sources sources);

    QString os() const;
    // The kernel's major.minor.patch, the patch always present ("6.1.0"); "0.0.0" when unknown.
    QString osVersion() const;
    // The product name, trimmed; the empty text when the machine does not say.
    QString hardwareModel() const;

    static QString versionFromRelease(const QString& release);

private:
    Sources m_sources;
};

} // namespace veltrin
