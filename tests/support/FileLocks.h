#pragma once

#include <QString>

namespace veltrin::test {

// Clears the immutable flag of a folder and of everything below it: saves lock files, and a
// temporary folder holding a locked file can't be removed.
void unlockTree(const QString& folder);

// Whether this process may set the immutable flag on files in this folder (root with the
// capability, on a file system that has the flag).
bool canLockFilesIn(const QString& folder);

} // namespace veltrin::test
