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
    // The same in other character sets, one of them with characters of two bytes.
    static const QString charsets[] = { QStringLiteral("iso-8859-1"), QStringLiteral("us-ascii"),
        QStringLiteral("windows-1252"), QStringLiteral("shift_jis") };
    const QString& charset = charsets[size > 0 ? data[0] % 4 : 0];
    if (veltrin::decodeQuotedPrintable(text, charset).size() > text.size())
        __builtin_trap();
    return 0;
}
