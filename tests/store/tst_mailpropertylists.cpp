#include "store/MailPropertyLists.h"
#include "store/SignatureService.h"

#include "TestSupport.h"

#include <QDir>
#include <QScopeGuard>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace veltrin;
using namespace Qt::StringLiterals;

using NamesMap = QHash<QString, QString>;
using AccountsMap = QHash<QString, QStringList>;

namespace {

QByteArray xmlPlist(const QByteArray& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n"
        + body + "\n</plist>\n";
}

QByteArray nameEntry(const QByteArray& id, const QByteArray& name)
{
    return "<dict><key>SignatureUniqueId</key><string>" + id + "</string><key>SignatureName</key><string>" + name
        + "</string></dict>";
}

QByteArray account(const QByteArray& key, const QByteArray& url, const QByteArray& signatures)
{
    return "<key>" + key + "</key><dict><key>AccountURL</key><string>" + url + "</string><key>Signatures</key><array>"
        + signatures + "</array></dict>";
}

// The order of addresses gathered from several accounts is not fixed.
AccountsMap sortedLists(AccountsMap map)
{
    for (QStringList& list : map)
        std::sort(list.begin(), list.end());
    return map;
}

// A binary property list written object by object, with 4-byte references and offsets, so
// that tests can shape graphs no sane writer would produce.
class BinaryPlist {
public:
    int add(const QByteArray& object)
    {
        m_objects.append(object);
        return int(m_objects.size()) - 1;
    }
    int string(const QByteArray& ascii) { return add(marker(0x5, ascii.size()) + ascii); }
    int utf16(const QString& text)
    {
        QByteArray units;
        for (const QChar c : text) {
            units.append(char(c.unicode() >> 8));
            units.append(char(c.unicode() & 0xFF));
        }
        return add(marker(0x6, text.size()) + units);
    }
    int integer(quint8 value) { return add(QByteArray(1, char(0x10)) + char(value)); }
    int array(const QList<int>& refs) { return add(marker(0xA, refs.size()) + references(refs)); }
    int dict(const QList<std::pair<int, int>>& entries)
    {
        QList<int> keys, values;
        for (const auto& [key, value] : entries) {
            keys.append(key);
            values.append(value);
        }
        return add(marker(0xD, entries.size()) + references(keys) + references(values));
    }
    // A placeholder whose content is set later, for references to objects not yet written.
    void replace(int index, const QByteArray& object) { m_objects[index] = object; }

    QByteArray data(int top) const
    {
        QByteArray out = "bplist00";
        QList<quint32> offsets;
        for (const QByteArray& object : m_objects) {
            offsets.append(quint32(out.size()));
            out += object;
        }
        const quint64 tableOffset = quint64(out.size());
        for (const quint32 offset : offsets)
            out += bigEndian(offset, 4);
        out += QByteArray(6, '\0');
        out += char(4); // offset size
        out += char(4); // reference size
        out += bigEndian(quint64(m_objects.size()), 8);
        out += bigEndian(quint64(top), 8);
        out += bigEndian(tableOffset, 8);
        return out;
    }

    static QByteArray marker(int type, qsizetype count)
    {
        if (count < 15)
            return QByteArray(1, char((type << 4) | int(count)));
        return QByteArray(1, char((type << 4) | 0xF)) + char(0x12) + bigEndian(quint64(count), 4);
    }
    static QByteArray references(const QList<int>& refs)
    {
        QByteArray out;
        for (const int ref : refs)
            out += bigEndian(quint64(ref), 4);
        return out;
    }
    static QByteArray bigEndian(quint64 value, int width)
    {
        QByteArray out(width, '\0');
        for (int i = width - 1; i >= 0; --i, value >>= 8)
            out[i] = char(value & 0xFF);
        return out;
    }

private:
    QList<QByteArray> m_objects;
};

QByteArray binaryNames(const QList<std::pair<QString, QString>>& entries)
{
    BinaryPlist plist;
    const int idKey = plist.string("SignatureUniqueId");
    const int nameKey = plist.string("SignatureName");
    QList<int> elements;
    for (const auto& [id, name] : entries)
        elements.append(plist.dict({{idKey, plist.utf16(id)}, {nameKey, plist.utf16(name)}}));
    return plist.data(plist.array(elements));
}

} // namespace

class TestMailPropertyLists : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void emailAddress_data();
    void emailAddress();
    void signatureNames_data();
    void signatureNames();
    void accountsMap_data();
    void accountsMap();
    void binaryLists();
    void xmlEncodings_data();
    void xmlEncodings();
    void filesInTheFolder_data();
    void filesInTheFolder();
    void hostileInput_data();
    void hostileInput();
};

void TestMailPropertyLists::emailAddress_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("expected");
    QTest::addRow("percent-encoded at") << u"imap://user%40mailhost/"_s << u"user@mailhost"_s;
    QTest::addRow("host and port stay") << u"imap://user%40mailhost@imapserver:993/"_s << u"user@mailhost@imapserver:993"_s;
    QTest::addRow("plain at") << u"pop://user@popserver"_s << u"user@popserver"_s;
    QTest::addRow("no scheme") << u"user%40mailhost"_s << u"user@mailhost"_s;
    QTest::addRow("empty host") << u"ews:///Mailbox/user"_s << u"Mailbox"_s;
    QTest::addRow("last scheme separator") << u"a://b://c/d"_s << u"c"_s;
    QTest::addRow("scheme only") << u"imap://"_s << u"imap"_s;
    QTest::addRow("separator first") << u"://x"_s << u"x"_s;
    QTest::addRow("only %%40 is decoded") << u"imap://user%2540mailhost/"_s << u"user%2540mailhost"_s;
    QTest::addRow("nothing after the slashes") << u"imap:///"_s << u"imap:///"_s;
    QTest::addRow("separator alone") << u"://"_s << u"://"_s;
    QTest::addRow("empty") << QString() << QString();
    QTest::addRow("every %%40") << u"smtp://a%40b%40c/x"_s << u"a@b@c"_s;
}

void TestMailPropertyLists::emailAddress()
{
    QFETCH(QString, url);
    QFETCH(QString, expected);
    QCOMPARE(MailPropertyLists::emailAddress(url), expected);
}

void TestMailPropertyLists::signatureNames_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<NamesMap>("expected");
    QTest::addRow("two names") << xmlPlist("<array>" + nameEntry("S1", "Work") + nameEntry("S2", "Caf&#233; &amp; Co") + "</array>")
                               << NamesMap{{u"S1"_s, u"Work"_s}, {u"S2"_s, u"Caf\u00E9 & Co"_s}};
    QTest::addRow("later duplicate wins") << xmlPlist("<array>" + nameEntry("S1", "First") + nameEntry("S1", "Second") + "</array>")
                                          << NamesMap{{u"S1"_s, u"Second"_s}};
    QTest::addRow("number as name skipped")
        << xmlPlist("<array><dict><key>SignatureUniqueId</key><string>S1</string><key>SignatureName</key><integer>3</integer></dict>"
                    + nameEntry("S2", "Home") + "</array>")
        << NamesMap{{u"S2"_s, u"Home"_s}};
    QTest::addRow("missing keys skipped")
        << xmlPlist("<array><dict><key>SignatureName</key><string>No id</string></dict><dict/>" + nameEntry("S2", "Home")
                    + "<dict><key>SignatureUniqueId</key><string>S3</string></dict></array>")
        << NamesMap{{u"S2"_s, u"Home"_s}};
    QTest::addRow("other keys ignored")
        << xmlPlist("<array><dict><key>SignatureIsRich</key><true/><key>SignatureUniqueId</key><string>S1</string>"
                    "<key>Extra</key><array><dict/></array><key>SignatureName</key><string>Work</string></dict></array>")
        << NamesMap{{u"S1"_s, u"Work"_s}};
    QTest::addRow("empty name kept") << xmlPlist("<array>" + nameEntry("S1", "") + "</array>") << NamesMap{{u"S1"_s, QString()}};
    QTest::addRow("empty array") << xmlPlist("<array/>") << NamesMap();
    QTest::addRow("root is a dictionary") << xmlPlist("<dict><key>S1</key>" + nameEntry("S1", "Work") + "</dict>") << NamesMap();
    QTest::addRow("one text element spoils all")
        << xmlPlist("<array>" + nameEntry("S1", "Work") + "<string>stray</string>" + nameEntry("S2", "Home") + "</array>")
        << NamesMap();
    QTest::addRow("one array element spoils all") << xmlPlist("<array>" + nameEntry("S1", "Work") + "<array/></array>") << NamesMap();
    QTest::addRow("not a property list") << QByteArray("SignatureUniqueId = S1; SignatureName = Work;") << NamesMap();
    QTest::addRow("unclosed") << xmlPlist("<array>" + nameEntry("S1", "Work")) << NamesMap();
    QTest::addRow("empty file") << QByteArray() << NamesMap();
}

void TestMailPropertyLists::signatureNames()
{
    QFETCH(QByteArray, data);
    QFETCH(NamesMap, expected);
    QCOMPARE(MailPropertyLists::signatureNamesFromData(data), expected);
}

void TestMailPropertyLists::accountsMap_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<AccountsMap>("expected");
    const QByteArray s1 = "<string>S1</string>", s2 = "<string>S2</string>";
    QTest::addRow("one account, two ids") << xmlPlist("<dict>" + account("A", "imap://user%40mailhost/", s1 + s2) + "</dict>")
                                          << AccountsMap{{u"S1"_s, {u"user@mailhost"_s}}, {u"S2"_s, {u"user@mailhost"_s}}};
    QTest::addRow("same address twice")
        << xmlPlist("<dict>" + account("A", "imap://user%40mailhost/", s1) + account("B", "smtp://user%40mailhost/", s1) + "</dict>")
        << AccountsMap{{u"S1"_s, {u"user@mailhost"_s, u"user@mailhost"_s}}};
    QTest::addRow("id listed twice") << xmlPlist("<dict>" + account("A", "pop://me@pop", s1 + s1) + "</dict>")
                                     << AccountsMap{{u"S1"_s, {u"me@pop"_s, u"me@pop"_s}}};
    QTest::addRow("two accounts share an id")
        << xmlPlist("<dict>" + account("A", "imap://a%40x/", s1 + s2) + account("B", "imap://b%40x/", s1) + "</dict>")
        << AccountsMap{{u"S1"_s, {u"a@x"_s, u"b@x"_s}}, {u"S2"_s, {u"a@x"_s}}};
    QTest::addRow("number among ids skips the account")
        << xmlPlist("<dict>" + account("A", "imap://a%40x/", s1 + "<integer>7</integer>") + account("B", "imap://b%40x/", s2)
                    + "</dict>")
        << AccountsMap{{u"S2"_s, {u"b@x"_s}}};
    QTest::addRow("missing or wrong URL skips the account")
        << xmlPlist("<dict><key>A</key><dict><key>Signatures</key><array>" + s1
                    + "</array></dict><key>B</key><dict><key>AccountURL</key><data>AAAA</data><key>Signatures</key><array>" + s1
                    + "</array></dict>" + account("C", "imap://c%40x/", s2) + "</dict>")
        << AccountsMap{{u"S2"_s, {u"c@x"_s}}};
    QTest::addRow("signatures not an array skips the account")
        << xmlPlist("<dict><key>A</key><dict><key>AccountURL</key><string>imap://a%40x/</string><key>Signatures</key>" + s1
                    + "</dict>" + account("C", "imap://c%40x/", s2) + "</dict>")
        << AccountsMap{{u"S2"_s, {u"c@x"_s}}};
    QTest::addRow("empty signatures add nothing") << xmlPlist("<dict>" + account("A", "imap://a%40x/", "") + "</dict>") << AccountsMap();
    QTest::addRow("%%2540 stays") << xmlPlist("<dict>" + account("A", "imap://user%2540mailhost/", s1) + "</dict>")
                                 << AccountsMap{{u"S1"_s, {u"user%2540mailhost"_s}}};
    QTest::addRow("a value that is an array spoils all")
        << xmlPlist("<dict>" + account("A", "imap://a%40x/", s1) + "<key>B</key><array>" + s2 + "</array></dict>") << AccountsMap();
    QTest::addRow("a value that is text spoils all")
        << xmlPlist("<dict>" + account("A", "imap://a%40x/", s1) + "<key>B</key><string>x</string></dict>") << AccountsMap();
    QTest::addRow("root is an array") << xmlPlist("<array><dict/></array>") << AccountsMap();
    QTest::addRow("empty dictionary") << xmlPlist("<dict/>") << AccountsMap();
    QTest::addRow("garbage") << QByteArray("\x00\x01\x02garbage\xff", 11) << AccountsMap();
}

void TestMailPropertyLists::accountsMap()
{
    QFETCH(QByteArray, data);
    QFETCH(AccountsMap, expected);
    QCOMPARE(sortedLists(MailPropertyLists::accountsMapFromData(data)), sortedLists(expected));
}

void TestMailPropertyLists::binaryLists()
{
    // Written by another program's binary writer, with shared objects.
    QCOMPARE(MailPropertyLists::signatureNamesFromData(test::readFixture(u"plists/AllSignatures.binary.plist"_s)),
             (NamesMap{{u"8A3F0C1E-0001"_s, u"Work"_s}, {u"8A3F0C1E-0002"_s, u"Priv\u00E9 \u2013 \u2615 \U0001F600"_s}}));
    QCOMPARE(sortedLists(MailPropertyLists::accountsMapFromData(test::readFixture(u"plists/AccountsMap.binary.plist"_s))),
             sortedLists({{u"8A3F0C1E-0001"_s, {u"jane@example.org@imap.example.org:993"_s}},
                          {u"8A3F0C1E-0002"_s, {u"jane@example.org@imap.example.org:993"_s, u"Mailbox"_s}}}));

    // Ours, with long counts and UTF-16 text.
    QList<std::pair<QString, QString>> entries;
    NamesMap expected;
    for (int i = 0; i < 40; ++i) {
        const QString id = u"ID-%1"_s.arg(i);
        const QString name = u"Signatur \u00FC %1 \U0001F4E7"_s.arg(i);
        entries.append({id, name});
        expected.insert(id, name);
    }
    QCOMPARE(MailPropertyLists::signatureNamesFromData(binaryNames(entries)), expected);
}

void TestMailPropertyLists::xmlEncodings_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("readable");
    const QByteArray body = "<array>" + nameEntry("S1", "Caf\xC3\xA9 \xE2\x98\x95") + "</array>";
    const QString utf16Text
        = QString::fromUtf8(xmlPlist(body)).replace(u"encoding=\"UTF-8\""_s, u"encoding=\"UTF-16\""_s);
    const auto utf16 = [&utf16Text](QStringConverter::Encoding encoding, bool mark) {
        QStringEncoder encoder(
            encoding, mark ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
        return QByteArray(encoder.encode(utf16Text));
    };
    QTest::addRow("UTF-8") << xmlPlist(body) << true;
    QTest::addRow("UTF-8 with a byte order mark") << "\xEF\xBB\xBF" + xmlPlist(body) << true;
    QTest::addRow("UTF-16 little-endian with a mark") << utf16(QStringConverter::Utf16LE, true) << true;
    QTest::addRow("UTF-16 big-endian with a mark") << utf16(QStringConverter::Utf16BE, true) << true;
    QTest::addRow("UTF-16 little-endian without a mark") << utf16(QStringConverter::Utf16LE, false) << true;
    QTest::addRow("UTF-16 big-endian without a mark") << utf16(QStringConverter::Utf16BE, false) << true;
    QTest::addRow("UTF-16 cut in a character") << utf16(QStringConverter::Utf16LE, true).chopped(1) << false;
}

void TestMailPropertyLists::xmlEncodings()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, readable);
    const NamesMap expected = readable ? NamesMap { { u"S1"_s, u"Caf\u00E9 \u2615"_s } } : NamesMap();
    QCOMPARE(MailPropertyLists::signatureNamesFromData(data), expected);
}

void TestMailPropertyLists::filesInTheFolder_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<bool>("expectNames");
    QTest::addRow("both lists") << u"files"_s << true;
    QTest::addRow("no lists") << u"none"_s << false;
    QTest::addRow("folders at the lists' paths") << u"folders"_s << false;
    QTest::addRow("names under another case") << u"case"_s << false;
    QTest::addRow("not a local folder") << u"remote"_s << false;
}

void TestMailPropertyLists::filesInTheFolder()
{
    QFETCH(QString, layout);
    QFETCH(bool, expectNames);
    QTemporaryDir dir;
    const QDir folder(dir.path());
    const QByteArray names = xmlPlist("<array>" + nameEntry("S1", "Work") + "</array>");
    const QByteArray accounts = xmlPlist("<dict>" + account("A", "imap://a%40x/", "<string>S1</string>") + "</dict>");
    if (layout == u"files") {
        QVERIFY(test::writeFile(folder.filePath(u"AllSignatures.plist"_s), names));
        QVERIFY(test::writeFile(folder.filePath(u"AccountsMap.plist"_s), accounts));
    } else if (layout == u"folders") {
        QVERIFY(folder.mkdir(u"AllSignatures.plist"_s));
        QVERIFY(folder.mkdir(u"AccountsMap.plist"_s));
    } else if (layout == u"case") {
        QVERIFY(test::writeFile(folder.filePath(u"allsignatures.plist"_s), names));
        QVERIFY(test::writeFile(folder.filePath(u"ACCOUNTSMAP.plist"_s), accounts));
    }
    QUrl url = QUrl::fromLocalFile(dir.path());
    const QString previousCurrent = QDir::currentPath();
    if (layout == u"remote") {
        // Lists in the working folder must not be picked up for a URL that names no folder.
        QVERIFY(test::writeFile(folder.filePath(u"AllSignatures.plist"_s), names));
        QVERIFY(test::writeFile(folder.filePath(u"AccountsMap.plist"_s), accounts));
        QVERIFY(QDir::setCurrent(dir.path()));
        url = QUrl(u"https://example.com/Signatures"_s);
    }
    const auto restoreCurrent = qScopeGuard([&] { QDir::setCurrent(previousCurrent); });
    // The service's readers are these.
    const NamesMap readNames = SignatureService::readSignatureNames(url);
    const AccountsMap readAccounts = SignatureService::readAccountsMap(url);
    const NamesMap expectedNames{{u"S1"_s, u"Work"_s}};
    const AccountsMap expectedAccounts{{u"S1"_s, {u"a@x"_s}}};
    QCOMPARE(readNames, expectNames ? expectedNames : NamesMap());
    QCOMPARE(readAccounts, expectNames ? expectedAccounts : AccountsMap());
}

void TestMailPropertyLists::hostileInput_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("accounts"); // read with the accounts reader, else the names reader
    QTest::addColumn<bool>("expectEntries");

    const QByteArray deepXml = "<array>" + QByteArray("<array>").repeated(200000) + QByteArray("</array>").repeated(200000) + "</array>";
    QTest::addRow("deep XML") << xmlPlist(deepXml) << false << false;
    QTest::addRow("deep XML, unclosed") << xmlPlist(QByteArray("<dict><key>k</key>").repeated(300000)) << true << false;
    QTest::addRow("nesting just over the limit")
        << xmlPlist(QByteArray("<array>").repeated(MailPropertyLists::maxNestingDepth + 1)
                    + QByteArray("</array>").repeated(MailPropertyLists::maxNestingDepth + 1))
        << false << false;
    // Moderate nesting in an ignored key is fine; comments and CDATA don't count as nesting.
    QTest::addRow("nesting within the limit")
        << xmlPlist("<dict><key>A</key><dict><key>AccountURL</key><string>imap://a%40x/</string>"
                    "<key>Signatures</key><array><string>S1</string></array><key>Deep</key>"
                    + QByteArray("<array>").repeated(30) + QByteArray("</array>").repeated(30)
                    + "<!-- <array><array><array> --><key>C</key><string><![CDATA[<dict><dict>]]></string></dict></dict>")
        << true << true;
    QTest::addRow("huge XML") << xmlPlist("<array>" + nameEntry("S1", QByteArray(MailPropertyLists::maxFileSize, 'x')) + "</array>")
                              << false << false;
    QTest::addRow("many nodes") << xmlPlist("<array>" + QByteArray("<dict/>").repeated(MailPropertyLists::maxNodeCount + 1) + "</array>")
                                << false << false;

    {
        // Each array references the previous one; libplist would recurse once per level.
        BinaryPlist plist;
        int previous = plist.array({});
        for (int i = 0; i < 100000; ++i)
            previous = plist.array({previous});
        QTest::addRow("deep binary") << plist.data(previous) << false << false;
    }
    {
        BinaryPlist plist;
        const int self = plist.array({});
        plist.replace(self, BinaryPlist::marker(0xA, 1) + BinaryPlist::references({self}));
        QTest::addRow("binary array containing itself") << plist.data(self) << false << false;
    }
    {
        BinaryPlist plist;
        const int a = plist.dict({});
        const int b = plist.dict({});
        const int key = plist.string("k");
        plist.replace(a, BinaryPlist::marker(0xD, 1) + BinaryPlist::references({key}) + BinaryPlist::references({b}));
        plist.replace(b, BinaryPlist::marker(0xD, 1) + BinaryPlist::references({key}) + BinaryPlist::references({a}));
        QTest::addRow("binary cycle through two dictionaries") << plist.data(a) << true << false;
    }
    {
        // 40 levels, each referencing the one below twice: 2^40 nodes once expanded.
        BinaryPlist plist;
        int level = plist.string("x");
        for (int i = 0; i < 40; ++i)
            level = plist.array({level, level});
        QTest::addRow("binary shared-object bomb") << plist.data(level) << false << false;
    }
    const QByteArray names = binaryNames({{u"S1"_s, u"Work"_s}, {u"S2"_s, u"Home"_s}});
    QTest::addRow("binary, intact") << names << false << true;
    for (const int cut : {1, 8, 33, 40})
        QTest::addRow("binary, %d bytes cut", cut) << names.left(names.size() - cut) << false << false;
    QTest::addRow("binary header only") << QByteArray("bplist00") << false << false;
    {
        QByteArray badOffset = names;
        badOffset[badOffset.size() - 1] = char(0xF0); // offset table beyond the end
        QTest::addRow("binary, offset table out of range") << badOffset << false << false;
        QByteArray badTop = names;
        badTop[badTop.size() - 9] = char(0x7F); // top object beyond the object count
        QTest::addRow("binary, top object out of range") << badTop << false << false;
        QByteArray bigCount = names;
        const qsizetype first = bigCount.indexOf(char(0x5F)); // "SignatureUniqueId": count follows
        QVERIFY(first > 0);
        bigCount[first + 2] = char(0x7F); // a count far past the end
        QTest::addRow("binary, string longer than the file") << bigCount << false << false;
    }
    {
        BinaryPlist plist;
        const int element = plist.add(QByteArray(1, char(0x70)) + "?"); // no such object type
        QTest::addRow("binary, unknown object") << plist.data(plist.array({element})) << false << false;
    }
}

void TestMailPropertyLists::hostileInput()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, accounts);
    QFETCH(bool, expectEntries);
    const bool hasEntries = accounts ? !MailPropertyLists::accountsMapFromData(data).isEmpty()
                                     : !MailPropertyLists::signatureNamesFromData(data).isEmpty();
    QCOMPARE(hasEntries, expectEntries);
}

QTEST_GUILESS_MAIN(TestMailPropertyLists)
#include "tst_mailpropertylists.moc"
