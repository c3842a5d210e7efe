#include "platform/BookmarkFolderAccess.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    veltrin::BookmarkFolderAccess access;
    const auto resolved = access.resolveBookmark(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!resolved && resolved.error().description.isEmpty())
        __builtin_trap(); // every failure must say why
    return 0;
}
