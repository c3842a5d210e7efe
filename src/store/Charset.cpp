#include "Charset.h"

#include <cerrno>
#include <cstdint>
#include <iconv.h>

namespace veltrin {

namespace {

std::optional<QByteArray> convert(const QByteArray& bytes, const QString& from, const QString& to)
{
    const iconv_t converter = ::iconv_open(to.toLatin1().constData(), from.toLatin1().constData());
    // iconv_open reports failure as the handle (iconv_t)-1.
    if (reinterpret_cast<std::intptr_t>(converter) == -1)
        return std::nullopt;
    QByteArray out;
    out.resize(bytes.size() * 4 + 16);
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char* write = out.data();
    size_t outLeft = size_t(out.size());
    bool ok = true;
    // The last call, with no input, ends a stateful encoding's shift sequence.
    for (bool flushing = false;;) {
        const size_t result = flushing ? ::iconv(converter, nullptr, nullptr, &write, &outLeft)
                                       : ::iconv(converter, &in, &inLeft, &write, &outLeft);
        if (result != size_t(-1)) {
            if (flushing)
                break;
            flushing = true;
            continue;
        }
        if (errno != E2BIG) {
            ok = false;
            break;
        }
        const qsizetype used = write - out.data();
        out.resize(out.size() * 2);
        write = out.data() + used;
        outLeft = size_t(out.size() - used);
    }
    ::iconv_close(converter);
    if (!ok)
        return std::nullopt;
    out.truncate(write - out.data());
    return out;
}

// A name iconv may be given: printable ASCII, and no "/", which would ask iconv to
// transliterate or drop what it can't convert.
bool isPlainName(const QString& name)
{
    for (const QChar c : name) {
        if (c.unicode() < 0x21 || c.unicode() > 0x7E || c == u'/')
            return false;
    }
    return !name.isEmpty();
}

} // namespace

bool Charset::isUtf8(QStringView name)
{
    return name.isEmpty() || name.compare(u"utf-8", Qt::CaseInsensitive) == 0
        || name.compare(u"utf8", Qt::CaseInsensitive) == 0;
}

std::optional<QString> Charset::decode(const QByteArray& bytes, const QString& name)
{
    if (!isPlainName(name))
        return std::nullopt;
    const std::optional<QByteArray> utf8 = convert(bytes, name, QStringLiteral("UTF-8"));
    if (!utf8)
        return std::nullopt;
    return QString::fromUtf8(*utf8);
}

std::optional<QByteArray> Charset::encode(const QString& text, const QString& name)
{
    if (!isPlainName(name))
        return std::nullopt;
    return convert(text.toUtf8(), QStringLiteral("UTF-8"), name);
}

} // namespace veltrin
