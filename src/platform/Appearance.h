#pragma once

#include "platform/ColorScheme.h"

#include <QObject>

namespace veltrin {

// The desktop's light or dark preference: what "System" means for the views.
class Appearance : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual ColorScheme colorScheme() const = 0;

Q_SIGNALS:
    // Only when the answer changes.
    void colorSchemeChanged(veltrin::ColorScheme scheme);
};

} // namespace veltrin
