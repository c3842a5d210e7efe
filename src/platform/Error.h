#pragma once

#include <QString>

namespace veltrin {

// A failure as the user sees it: the description is shown after a fixed prefix.
struct Error {
    QString description;
};

} // namespace veltrin
