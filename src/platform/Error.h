#pragma once

#include <QString>

namespace veltrin {

// A failure as the user sees it: the description is shown after a fixed prefix.
struct Error {
    QString description;
};

// How every error text quotes a path or a file name.
inline QString quotedPath(const QString& path)
{
    return u'\u201C' + path + u'\u201D';
}

} // namespace veltrin
