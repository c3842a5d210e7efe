#include "MailPropertyLists.h"

#include "platform/FileOperations.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <plist/plist.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace veltrin {

using namespace Qt::StringLiterals;

namespace {

struct PlistDeleter {
    void operator()(void* node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using IterPtr = std::unique_ptr<void, FreeDeleter>;

// libplist's parsers recurse once per nesting level and copy every shared object of a binary
// list at each reference, so depth and the expanded size are checked before handing data over.

bool startsWithAt(const QByteArray& data, qsizetype at, const char* text)
{
    const auto length = qsizetype(std::strlen(text));
    return at + length <= data.size() && std::memcmp(data.constData() + at, text, size_t(length)) == 0;
}

bool isXmlNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'
        || c == ':' || c == '.';
}

bool xmlStructureIsSafe(const QByteArray& data)
{
    int depth = 0;
    qint64 nodes = 0;
    const qsizetype size = data.size();
    qsizetype i = 0;
    while (true) {
        i = data.indexOf('<', i);
        if (i < 0)
            return true;
        const auto skipPast = [&](const char* terminator) {
            const qsizetype end = data.indexOf(terminator, i);
            if (end < 0)
                return false;
            i = end + qsizetype(std::strlen(terminator));
            return true;
        };
        if (startsWithAt(data, i, "<!--")) {
            if (!skipPast("-->"))
                return false;
            continue;
        }
        if (startsWithAt(data, i, "<![CDATA[")) {
            if (!skipPast("]]>"))
                return false;
            continue;
        }
        if (startsWithAt(data, i, "<?") || startsWithAt(data, i, "<!")) {
            if (!skipPast(">"))
                return false;
            continue;
        }
        qsizetype nameStart = i + 1;
        const bool closing = nameStart < size && data.at(nameStart) == '/';
        if (closing)
            ++nameStart;
        qsizetype nameEnd = nameStart;
        while (nameEnd < size && isXmlNameChar(data.at(nameEnd)))
            ++nameEnd;
        const QByteArrayView name(data.constData() + nameStart, nameEnd - nameStart);
        const qsizetype tagEnd = data.indexOf('>', nameEnd);
        if (tagEnd < 0)
            return false;
        const bool container = name == "array" || name == "dict";
        if (closing) {
            if (container && --depth < 0)
                return false;
        } else {
            if (++nodes > MailPropertyLists::maxNodeCount)
                return false;
            const bool selfClosing = data.at(tagEnd - 1) == '/';
            if (container && !selfClosing && ++depth > MailPropertyLists::maxNestingDepth)
                return false;
        }
        i = tagEnd + 1;
    }
}

class BinaryPlistScan {
public:
    explicit BinaryPlistScan(const QByteArray& data)
        : m_bytes(reinterpret_cast<const unsigned char*>(data.constData()))
        , m_size(quint64(data.size()))
    {
    }

    bool isSafe()
    {
        constexpr quint64 headerSize = 8;
        constexpr quint64 trailerSize = 32;
        if (m_size < headerSize + trailerSize)
            return false;
        const unsigned char* trailer = m_bytes + m_size - trailerSize;
        m_offsetSize = trailer[6];
        m_refSize = trailer[7];
        m_objectCount = readUnsigned(trailer + 8, 8);
        const quint64 top = readUnsigned(trailer + 16, 8);
        m_offsetTable = readUnsigned(trailer + 24, 8);
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8)
            return false;
        const quint64 tableLimit = m_size - trailerSize;
        if (m_objectCount == 0 || top >= m_objectCount || m_offsetTable < headerSize || m_offsetTable > tableLimit)
            return false;
        if (m_objectCount > (tableLimit - m_offsetTable) / m_offsetSize)
            return false;
        return walk(top);
    }

private:
    struct Frame {
        quint64 object;
        quint64 refs;      // first reference
        quint64 refCount;  // children to visit
        quint64 next = 0;  // next child
        qint64 nodes = 1;  // expanded size so far
    };

    static quint64 readUnsigned(const unsigned char* p, unsigned width)
    {
        quint64 value = 0;
        for (unsigned k = 0; k < width; ++k)
            value = (value << 8) | p[k];
        return value;
    }

    std::optional<quint64> offsetOf(quint64 object) const
    {
        const quint64 offset = readUnsigned(m_bytes + m_offsetTable + object * m_offsetSize, m_offsetSize);
        if (offset < 8 || offset >= m_offsetTable)
            return std::nullopt;
        return offset;
    }

    // The object's children (references) and checks that the whole object lies in bounds.
    bool inspect(quint64 object, quint64& refs, quint64& refCount) const
    {
        const auto found = offsetOf(object);
        if (!found)
            return false;
        const quint64 offset = *found;
        const quint64 limit = m_offsetTable;
        const unsigned marker = m_bytes[offset];
        const unsigned type = marker >> 4;
        const unsigned info = marker & 0x0F;
        refs = 0;
        refCount = 0;

        quint64 count = info;
        quint64 header = 1;
        const auto readCount = [&] {
            if (info != 0x0F)
                return true;
            if (offset + 2 > limit)
                return false;
            const unsigned intMarker = m_bytes[offset + 1];
            if ((intMarker >> 4) != 0x1 || (intMarker & 0x0F) > 3)
                return false;
            const unsigned width = 1u << (intMarker & 0x0F);
            if (offset + 2 + width > limit)
                return false;
            count = readUnsigned(m_bytes + offset + 2, width);
            header = 2 + width;
            return true;
        };
        // offset < limit holds, and header is at most 10 bytes.
        const auto fits = [&](quint64 payload) { return header <= limit - offset && payload <= limit - offset - header; };

        switch (type) {
        case 0x0:
            return info == 0x0 || info == 0x8 || info == 0x9 || info == 0xF;
        case 0x1:
            return info <= 4 && fits(quint64(1) << info);
        case 0x2:
            return (info == 2 || info == 3) && fits(quint64(1) << info);
        case 0x3:
            return info == 3 && fits(8);
        case 0x8:
            return fits(quint64(info) + 1);
        case 0x4:
        case 0x5:
            return readCount() && fits(count);
        case 0x6:
            return readCount() && count <= limit && fits(count * 2);
        case 0xA:
        case 0xC:
        case 0xD: {
            if (!readCount())
                return false;
            const quint64 perEntry = type == 0xD ? 2 : 1;
            if (count > limit / (perEntry * m_refSize) || !fits(count * perEntry * m_refSize))
                return false;
            refs = offset + header;
            refCount = count * perEntry;
            return true;
        }
        default:
            return false;
        }
    }

    bool walk(quint64 top)
    {
        enum class State : unsigned char { unvisited, active, done };
        std::vector<State> state(size_t(m_objectCount), State::unvisited);
        // Node counts stay below maxNodeCount, so 32 bits hold them.
        std::vector<quint32> expanded(size_t(m_objectCount), 0);
        std::vector<Frame> stack;

        const auto push = [&](quint64 object) {
            if (stack.size() >= size_t(MailPropertyLists::maxNestingDepth) + 1)
                return false;
            Frame frame{object, 0, 0};
            if (!inspect(object, frame.refs, frame.refCount))
                return false;
            state[size_t(object)] = State::active;
            stack.push_back(frame);
            return true;
        };
        if (!push(top))
            return false;
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next == frame.refCount) {
                const Frame finished = frame;
                stack.pop_back();
                state[size_t(finished.object)] = State::done;
                expanded[size_t(finished.object)] = quint32(finished.nodes);
                if (!stack.empty()) {
                    stack.back().nodes += finished.nodes;
                    if (stack.back().nodes > MailPropertyLists::maxNodeCount)
                        return false;
                }
                continue;
            }
            const quint64 child = readUnsigned(m_bytes + frame.refs + frame.next * m_refSize, m_refSize);
            ++frame.next;
            if (child >= m_objectCount)
                return false;
            switch (state[size_t(child)]) {
            case State::active:
                return false; // a cycle
            case State::done:
                frame.nodes += expanded[size_t(child)];
                if (frame.nodes > MailPropertyLists::maxNodeCount)
                    return false;
                break;
            case State::unvisited:
                if (!push(child))
                    return false;
                break;
            }
        }
        return true;
    }

    const unsigned char* m_bytes;
    quint64 m_size;
    unsigned m_offsetSize = 0;
    unsigned m_refSize = 0;
    quint64 m_objectCount = 0;
    quint64 m_offsetTable = 0;
};

// libplist reads XML in UTF-8 only, without a byte order mark; a list written with a mark or in
// UTF-16 is turned into that first. Empty when the text doesn't decode.
QByteArray asUtf8Xml(const QByteArray& data)
{
    if (data.startsWith("\xEF\xBB\xBF"))
        return data.sliced(3);
    std::optional<QStringConverter::Encoding> utf16;
    if (data.startsWith("\xFF\xFE") || data.startsWith(QByteArrayView("<\0", 2)))
        utf16 = QStringConverter::Utf16LE;
    else if (data.startsWith("\xFE\xFF") || data.startsWith(QByteArrayView("\0<", 2)))
        utf16 = QStringConverter::Utf16BE;
    if (!utf16)
        return data;
    if (data.size() % 2 != 0)
        return {};
    QStringDecoder decoder(*utf16, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(data);
    if (decoder.hasError())
        return {};
    QString xml = text;
    // The declaration would still name UTF-16 for bytes that are now UTF-8.
    static const QRegularExpression declaredEncoding(
        QStringLiteral(R"(^(<\?xml[^>]*?encoding\s*=\s*)(["'])[^"']*\2)"),
        QRegularExpression::CaseInsensitiveOption);
    xml.replace(declaredEncoding, QStringLiteral("\\1\\2UTF-8\\2"));
    return xml.toUtf8();
}

PlistPtr parse(const QByteArray& raw)
{
    if (raw.isEmpty() || raw.size() > MailPropertyLists::maxFileSize)
        return {};
    const QByteArray data = raw.startsWith("bplist00") ? raw : asUtf8Xml(raw);
    if (data.isEmpty())
        return {};
    const bool binary = data.startsWith("bplist00");
    const bool safe = binary ? BinaryPlistScan(data).isSafe() : xmlStructureIsSafe(data);
    if (!safe)
        return {};
    plist_t root = nullptr;
    plist_from_memory(data.constData(), uint32_t(data.size()), &root);
    return PlistPtr(root);
}

std::optional<QByteArray> readListFile(const FileOperations& files, const QUrl& folder, const QString& fileName)
{
    if (!folder.isLocalFile() || folder.path().isEmpty())
        return std::nullopt;
    // Not a regular file (a FIFO would block the scan), too large or unreadable: no list.
    auto data = files.readFile(FileOperations::child(folder, fileName.toUtf8()), MailPropertyLists::maxFileSize);
    if (!data)
        return std::nullopt;
    return *std::move(data);
}

bool isType(plist_t node, plist_type type)
{
    return node && plist_get_node_type(node) == type;
}

std::optional<QString> textValue(plist_t node)
{
    if (!isType(node, PLIST_STRING))
        return std::nullopt;
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    if (!text)
        return QString();
    return QString::fromUtf8(text, qsizetype(length));
}

// Iterators, not indices: indexed access walks the child list from the start every time.
template <typename Visit>
void forEachArrayItem(plist_t array, Visit visit)
{
    plist_array_iter rawIter = nullptr;
    plist_array_new_iter(array, &rawIter);
    const IterPtr iter(rawIter);
    while (true) {
        plist_t item = nullptr;
        plist_array_next_item(array, rawIter, &item);
        if (!item)
            return;
        visit(item);
    }
}

template <typename Visit>
void forEachDictValue(plist_t dict, Visit visit)
{
    plist_dict_iter rawIter = nullptr;
    plist_dict_new_iter(dict, &rawIter);
    const IterPtr iter(rawIter);
    while (true) {
        plist_t value = nullptr;
        plist_dict_next_item(dict, rawIter, nullptr, &value);
        if (!value)
            return;
        visit(value);
    }
}

} // namespace

QHash<QString, QString> MailPropertyLists::readSignatureNames(const FileOperations& files, const QUrl& folder)
{
    const auto data = readListFile(files, folder, signatureNamesFileName);
    return data ? signatureNamesFromData(*data) : QHash<QString, QString>();
}

QHash<QString, QStringList> MailPropertyLists::readAccountsMap(const FileOperations& files, const QUrl& folder)
{
    const auto data = readListFile(files, folder, accountsMapFileName);
    return data ? accountsMapFromData(*data) : QHash<QString, QStringList>();
}

QHash<QString, QString> MailPropertyLists::signatureNamesFromData(const QByteArray& data)
{
    const PlistPtr root = parse(data);
    if (!isType(root.get(), PLIST_ARRAY))
        return {};
    bool wellFormed = true;
    forEachArrayItem(root.get(), [&](plist_t element) { wellFormed = wellFormed && isType(element, PLIST_DICT); });
    if (!wellFormed)
        return {};

    QHash<QString, QString> names;
    names.reserve(qsizetype(plist_array_get_size(root.get())));
    forEachArrayItem(root.get(), [&](plist_t element) {
        const auto id = textValue(plist_dict_get_item(element, "SignatureUniqueId"));
        const auto name = textValue(plist_dict_get_item(element, "SignatureName"));
        if (id && name)
            names.insert(*id, *name);
    });
    return names;
}

QHash<QString, QStringList> MailPropertyLists::accountsMapFromData(const QByteArray& data)
{
    const PlistPtr root = parse(data);
    if (!isType(root.get(), PLIST_DICT))
        return {};
    bool wellFormed = true;
    forEachDictValue(root.get(), [&](plist_t account) { wellFormed = wellFormed && isType(account, PLIST_DICT); });
    if (!wellFormed)
        return {};

    QHash<QString, QStringList> accounts;
    forEachDictValue(root.get(), [&](plist_t account) {
        const auto url = textValue(plist_dict_get_item(account, "AccountURL"));
        if (!url)
            return;
        plist_t signatures = plist_dict_get_item(account, "Signatures");
        if (!isType(signatures, PLIST_ARRAY))
            return;
        QStringList ids;
        bool allText = true;
        forEachArrayItem(signatures, [&](plist_t item) {
            const auto id = textValue(item);
            allText = allText && id.has_value();
            if (id)
                ids.append(*id);
        });
        if (!allText)
            return;
        const QString address = emailAddress(*url);
        for (const QString& id : std::as_const(ids))
            accounts[id].append(address);
    });
    return accounts;
}

QString MailPropertyLists::emailAddress(const QString& accountURL)
{
    const QStringList pieces = accountURL.split(u"://"_s, Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return accountURL;
    const QStringList segments = pieces.constLast().split(u'/', Qt::SkipEmptyParts);
    if (segments.isEmpty())
        return accountURL;
    QString address = segments.constFirst();
    address.replace(u"%40"_s, u"@"_s);
    return address;
}

} // namespace veltrin
