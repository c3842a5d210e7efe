#include "store/MailPropertyLists.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)veltrin::MailPropertyLists::signatureNamesFromData(bytes);
    (void)veltrin::MailPropertyLists::accountsMapFromData(bytes);
    return 0;
}
