#pragma once

#include "FakeFileAttributes.h"
#include "ScriptedFileOperations.h"
#include "store/SignatureStorage.h"

namespace veltrin::test {

// Storage on real files whose locks are kept in memory: saves write files but lock nothing.
struct FakeStorage {
    ScriptedFileOperations files;
    FakeFileAttributes attributes;
    SignatureStorage storage { files, attributes };
};

} // namespace veltrin::test
