#pragma once

#include <QString>

namespace veltrin::test {

// Clears the immutable flag of a folder and of everything below it: saves lock files, and a
// temporary folder holding a locked file can't be removed.
void unlockTree(const QString& folder);

// Whether this process may set the immutable flag on files in this folder (root with the
// capability, on a file system that has the flag).
bool canLockFilesIn(const QString& folder);

// Raises or lowers CAP_LINUX_IMMUTABLE in this thread's effective set: a process that has it
// can act as one without it.
bool setImmutableCapability(bool effective);

} // namespace veltrin::test
