#include "store/QuotedPrintable.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString decoded = veltrin::decodeQuotedPrintable(text);
    // Decoding never grows the text: each escape turns into at most the characters it stands for.
    if (decoded.size() > text.size())
        __builtin_trap();
    return 0;
}
