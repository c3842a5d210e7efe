#include "store/SignatureService.h"

#include "platform/BookmarkFolderAccess.h"
#include "platform/Preferences.h"

#include "FakeFileAttributes.h"
#include "FakeFolderPanel.h"
#include "ScriptedFileOperations.h"
#include "TestSupport.h"
#include "store/MailPropertyLists.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <random>

#include <sys/stat.h>
#include <unistd.h>

using namespace veltrin;
using namespace Qt::StringLiterals;

namespace {

const QString kV11 = u"Library/Mail/V11/MailData/Signatures"_s;
const QString kV10 = u"Library/Mail/V10/MailData/Signatures"_s;
const QString kV9 = u"Library/Mail/V9/MailData/Signatures"_s;
const QString kV8 = u"Library/Mail/V8/MailData/Signatures"_s;

QString xmlEscaped(const QString& text)
{
    return text.toHtmlEscaped();
}

// An AllSignatures.plist naming each id.
QByteArray namesPlist(const QList<std::pair<QString, QString>>& names)
{
    QString xml = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><array>"_s;
    for (const auto& [id, name] : names)
        xml += u"<dict><key>SignatureUniqueId</key><string>"_s + xmlEscaped(id)
            + u"</string><key>SignatureName</key><string>"_s + xmlEscaped(name) + u"</string></dict>"_s;
    return (xml + u"</array></plist>\n"_s).toUtf8();
}

QByteArray accountsPlist(const QList<std::pair<QString, QStringList>>& accounts)
{
    QString xml = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"_s;
    int index = 0;
    for (const auto& [url, ids] : accounts) {
        xml += u"<key>account-%1</key><dict><key>AccountURL</key><string>"_s.arg(index++) + xmlEscaped(url)
            + u"</string><key>Signatures</key><array>"_s;
        for (const QString& id : ids)
            xml += u"<string>"_s + xmlEscaped(id) + u"</string>"_s;
        xml += u"</array></dict>"_s;
    }
    return (xml + u"</dict></plist>\n"_s).toUtf8();
}

// A value as the owner might hold it before a load.
SignatureFile placeholder(const QString& fileName)
{
    SignatureFile signature;
    signature.id = QUuid::createUuid();
    signature.fileName = fileName;
    return signature;
}

QStringList displayNames(const QList<SignatureFile>& signatures)
{
    QStringList names;
    for (const SignatureFile& signature : signatures)
        names.append(signature.displayName);
    return names;
}

QStringList fileNames(const QList<SignatureFile>& signatures)
{
    QStringList names;
    for (const SignatureFile& signature : signatures)
        names.append(signature.fileName);
    return names;
}

// One service on a scratch home folder, with real bookmarks and preferences in temporary files.
struct Fixture {
    QTemporaryDir dir;
    QString home = dir.filePath(u"home"_s);
    SettingsPreferences preferences { dir.filePath(u"preferences"_s) };
    BookmarkFolderAccess folderAccess;
    test::FakeFolderPanel panel;
    test::ScriptedFileOperations files;
    test::FakeFileAttributes attributes;
    std::unique_ptr<SignatureService> service
        = std::make_unique<SignatureService>(preferences, folderAccess, panel, files, attributes, home);

    Fixture() { QDir().mkpath(home); }

    QString homePath(const QString& relative) const { return QDir(home).filePath(relative); }

    // A folder under home holding empty signature files with the given names.
    QString makeFolder(const QString& relative, const QStringList& files = {}) const
    {
        QString path = homePath(relative);
        QDir().mkpath(path);
        for (const QString& file : files)
            test::writeFile(QDir(path).filePath(file), "Content-Type: text/html\n\n<p>x</p>\n");
        return path;
    }
};

// The signals of one service, in the order they were emitted.
struct SignalLog {
    QStringList events;

    explicit SignalLog(SignatureService& service)
    {
        QObject::connect(&service, &SignatureService::objectWillChange, [this] { events.append(u"will"_s); });
        QObject::connect(
            &service, &SignatureService::signaturesChanged, [this] { events.append(u"signatures"_s); });
        QObject::connect(
            &service, &SignatureService::errorMessageChanged, [this] { events.append(u"message"_s); });
    }
};

} // namespace

class TestSignatureService : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsEmpty();
    void hasBookmark_data();
    void hasBookmark();
    void defaultSignaturesFolder_data();
    void defaultSignaturesFolder();

    void requestWithoutMailFolder();
    void requestShowsPanel();
    void panelAnswer_data();
    void panelAnswer();
    void twoPanelsAnsweredInEitherOrder_data();
    void twoPanelsAnsweredInEitherOrder();
    void serviceDestroyedWhilePanelOpen();

    void grantFailures_data();
    void grantFailures();
    void grantingAgainReplacesBookmark();

    void restore_data();
    void restore();
    void restoreKeepsStaleBookmark();
    void restoredFolderWithoutAccess();
    void unreadableRestoredFolder();

    void scanKeepsOnlySignatureFiles();
    void scanFillsFields();
    void sortOrder_data();
    void sortOrder();
    void equalNamesKeepListingOrder();
    void rescanDrawsNewIds();
    void emptyFolderNotice_data();
    void emptyFolderNotice();
    void listingFailures_data();
    void listingFailures();

    void announcements_data();
    void announcements();
    void accessIsBalanced();

    void irregularPropertyListsGiveEmptyMaps_data();
    void irregularPropertyListsGiveEmptyMaps();
    void scanKeepsNamesAsBytes();
    void scanGivesSizeAndTime();
};

void TestSignatureService::startsEmpty()
{
    Fixture f;
    QVERIFY(f.service->signatures().isEmpty());
    QVERIFY(!f.service->errorMessage());
    QVERIFY(!f.service->accessedURL());
    QCOMPARE(f.panel.requestCount(), 0);
}

void TestSignatureService::hasBookmark_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("expected");
    QTest::addRow("missing") << QVariant() << false;
    QTest::addRow("empty data") << QVariant(QByteArray()) << true;
    QTest::addRow("data") << QVariant(QByteArray("bookmark")) << true;
    QTest::addRow("text") << QVariant(u"bookmark"_s) << false;
    QTest::addRow("bool") << QVariant(true) << false;
}

void TestSignatureService::hasBookmark()
{
    QFETCH(QVariant, stored);
    QFETCH(bool, expected);
    Fixture f;
    if (stored.isValid())
        f.preferences.set(SignatureService::bookmarkKey, stored);
    QCOMPARE(f.service->hasBookmark(), expected);
}

void TestSignatureService::defaultSignaturesFolder_data()
{
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("expected");
    QTest::addRow("none") << QStringList() << QStringList() << QString();
    QTest::addRow("only V9") << QStringList { kV9 } << QStringList() << kV9;
    QTest::addRow("V11 before V10") << QStringList { kV10, kV11 } << QStringList() << kV11;
    QTest::addRow("all four") << QStringList { kV8, kV9, kV10, kV11 } << QStringList() << kV11;
    QTest::addRow("V10 before V8") << QStringList { kV8, kV10 } << QStringList() << kV10;
    QTest::addRow("a file counts") << QStringList { kV8 } << QStringList { kV9 } << kV9;
    QTest::addRow("parent only") << QStringList { u"Library/Mail/V11/MailData"_s } << QStringList()
                                 << QString();
}

void TestSignatureService::defaultSignaturesFolder()
{
    QFETCH(QStringList, folders);
    QFETCH(QStringList, files);
    QFETCH(QString, expected);
    Fixture f;
    for (const QString& folder : folders)
        f.makeFolder(folder);
    for (const QString& file : files)
        QVERIFY(test::writeFile(f.homePath(file), "not a folder"));

    const std::optional<QUrl> folder = f.service->defaultSignaturesFolder();
    if (expected.isEmpty()) {
        QVERIFY(!folder);
    } else {
        QVERIFY(folder);
        QCOMPARE(*folder, QUrl::fromLocalFile(f.homePath(expected)));
    }
}

void TestSignatureService::requestWithoutMailFolder()
{
    Fixture f;
    f.service->setSignatures({ placeholder(u"a.mailsignature"_s) });
    f.service->requestAccess();
    QCOMPARE(f.panel.requestCount(), 0);
    QVERIFY(f.service->signatures().isEmpty());
    QCOMPARE(f.service->errorMessage(), u"Could not find Mail signatures folder"_s);
}

void TestSignatureService::requestShowsPanel()
{
    Fixture f;
    const QString folder = f.makeFolder(kV10, { u"a.mailsignature"_s });
    f.service->setErrorMessage(u"earlier"_s);
    f.service->requestAccess();

    QCOMPARE(f.panel.requestCount(), 1);
    const FolderPanelOptions& options = f.panel.options(0);
    QCOMPARE(options.message, u"Please select the Mail Signatures folder to grant access"_s);
    QCOMPARE(options.prompt, u"Grant Access"_s);
    QVERIFY(!options.canChooseFiles);
    QVERIFY(options.canChooseDirectories);
    QVERIFY(!options.canCreateDirectories);
    QCOMPARE(options.directoryURL, QUrl::fromLocalFile(folder));
    // Nothing is decided until the panel answers.
    QVERIFY(f.service->signatures().isEmpty());
    QVERIFY(!f.service->errorMessage());
    QVERIFY(!f.service->hasBookmark());
}

void TestSignatureService::panelAnswer_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("expectedFiles");
    QTest::addColumn<QString>("expectedMessage");
    QTest::addColumn<bool>("bookmarked");
    QTest::addRow("cancel") << u"cancel"_s << QStringList() << u"Access to signatures folder was denied"_s
                            << false;
    QTest::addRow("ok without folder")
        << u"nothing"_s << QStringList() << u"Access to signatures folder was denied"_s << false;
    QTest::addRow("folder chosen") << u"choose"_s << QStringList { u"a.mailsignature"_s } << QString()
                                   << true;
}

void TestSignatureService::panelAnswer()
{
    QFETCH(QString, answer);
    QFETCH(QStringList, expectedFiles);
    QFETCH(QString, expectedMessage);
    QFETCH(bool, bookmarked);
    Fixture f;
    const QString folder = f.makeFolder(kV11, { u"a.mailsignature"_s });
    // A choice elsewhere is bookmarked and scanned all the same.
    const QString chosen = f.makeFolder(u"elsewhere"_s, { u"a.mailsignature"_s });
    const QByteArray earlier = "earlier bookmark";
    f.preferences.set(SignatureService::bookmarkKey, earlier);

    f.service->requestAccess();
    if (answer == u"cancel")
        f.panel.cancel();
    else if (answer == u"nothing")
        f.panel.chooseNothing();
    else
        f.panel.choose(QUrl::fromLocalFile(chosen));

    QCOMPARE(fileNames(f.service->signatures()), expectedFiles);
    QCOMPARE(f.service->errorMessage().value_or(QString()), expectedMessage);
    QCOMPARE(f.service->errorMessage().has_value(), !expectedMessage.isEmpty());
    const QByteArray stored = f.preferences.data(SignatureService::bookmarkKey).value_or(QByteArray());
    QCOMPARE(stored != earlier, bookmarked);
    if (bookmarked) {
        const auto resolved = f.folderAccess.resolveBookmark(stored);
        QVERIFY(resolved);
        QCOMPARE(resolved->url, QUrl::fromLocalFile(chosen));
        QCOMPARE(f.service->accessedURL(), QUrl::fromLocalFile(chosen));
    }
    Q_UNUSED(folder);
}

void TestSignatureService::twoPanelsAnsweredInEitherOrder_data()
{
    QTest::addColumn<bool>("grantFirst");
    QTest::addColumn<QStringList>("expectedFiles");
    QTest::addColumn<QString>("expectedMessage");
    // A cancel after the grant sets only the message: the scanned list stays.
    QTest::addRow("grant, then cancel")
        << true << QStringList { u"a.mailsignature"_s } << u"Access to signatures folder was denied"_s;
    QTest::addRow("cancel, then grant") << false << QStringList { u"a.mailsignature"_s } << QString();
}

void TestSignatureService::twoPanelsAnsweredInEitherOrder()
{
    QFETCH(bool, grantFirst);
    QFETCH(QStringList, expectedFiles);
    QFETCH(QString, expectedMessage);
    Fixture f;
    const QString folder = f.makeFolder(kV11, { u"a.mailsignature"_s });
    f.service->requestAccess();
    f.service->requestAccess();
    QCOMPARE(f.panel.requestCount(), 2);
    QCOMPARE(f.panel.openCount(), 2);

    // The older panel is answered first, then the newer one.
    if (grantFirst) {
        f.panel.choose(QUrl::fromLocalFile(folder), 0);
        f.panel.cancel(1);
    } else {
        f.panel.cancel(0);
        f.panel.choose(QUrl::fromLocalFile(folder), 1);
    }
    QCOMPARE(fileNames(f.service->signatures()), expectedFiles);
    QCOMPARE(f.service->errorMessage().value_or(QString()), expectedMessage);
    QVERIFY(f.service->hasBookmark());
}

void TestSignatureService::serviceDestroyedWhilePanelOpen()
{
    Fixture f;
    const QString folder = f.makeFolder(kV11, { u"a.mailsignature"_s });
    f.service->requestAccess();
    f.service.reset();
    f.panel.choose(QUrl::fromLocalFile(folder));
    QVERIFY(!f.preferences.object(SignatureService::bookmarkKey).isValid());
    QCOMPARE(f.folderAccess.accessCount(QUrl::fromLocalFile(folder)), 0);
}

void TestSignatureService::grantFailures_data()
{
    QTest::addColumn<QUrl>("folder");
    QTest::addColumn<QString>("expectedMessage");
    QTest::addRow("gone")
        << QUrl::fromLocalFile(u"/nonexistent/veltrin/Signatures"_s)
        << u"Failed to create bookmark: The folder \u201C/nonexistent/veltrin/Signatures\u201D doesn't exist."_s;
    QTest::addRow("not a local file")
        << QUrl(u"https://example.com/Signatures"_s)
        << u"Failed to create bookmark: \u201Chttps://example.com/Signatures\u201D isn't a folder on this computer."_s;
}

void TestSignatureService::grantFailures()
{
    QFETCH(QUrl, folder);
    QFETCH(QString, expectedMessage);
    Fixture f;
    const QList<SignatureFile> earlier { placeholder(u"kept.mailsignature"_s) };
    f.service->setSignatures(earlier);
    f.service->grantAccess(folder);
    QCOMPARE(f.service->errorMessage(), expectedMessage);
    QCOMPARE(f.service->signatures(), earlier); // nothing scanned
    QVERIFY(!f.service->hasBookmark());
    QVERIFY(!f.service->accessedURL());
}

void TestSignatureService::grantingAgainReplacesBookmark()
{
    Fixture f;
    const QString first = f.makeFolder(u"first"_s, { u"one.mailsignature"_s });
    const QString second = f.makeFolder(u"second"_s, { u"two.mailsignature"_s });
    f.service->grantAccess(QUrl::fromLocalFile(first));
    const QByteArray firstBookmark = *f.preferences.data(SignatureService::bookmarkKey);
    f.service->grantAccess(QUrl::fromLocalFile(second));
    const QByteArray secondBookmark = *f.preferences.data(SignatureService::bookmarkKey);
    QVERIFY(firstBookmark != secondBookmark);

    // A new service (a later launch) finds the second folder.
    SettingsPreferences reopened(f.preferences.fileName());
    SignatureService later(reopened, f.folderAccess, f.panel, f.files, f.attributes, f.home);
    QVERIFY(later.restoreAccessFromBookmark());
    QCOMPARE(fileNames(later.signatures()), QStringList { u"two.mailsignature"_s });
}

void TestSignatureService::restore_data()
{
    QTest::addColumn<QString>("bookmark"); // how the stored value is made
    QTest::addColumn<bool>("expectedResult");
    QTest::addColumn<QString>("expectedMessage"); // "unchanged": as the test set it
    QTest::addColumn<QStringList>("expectedFiles"); // "unchanged" when empty and not restored

    const QString unchanged = u"unchanged"_s;
    QTest::addRow("valid") << u"valid"_s << true << QString() << QStringList { u"a.mailsignature"_s };
    QTest::addRow("none") << u"none"_s << false << unchanged << QStringList();
    QTest::addRow("stale") << u"stale"_s << false << unchanged << QStringList();
    QTest::addRow("folder gone") << u"gone"_s << false
                                 << u"Failed to resolve bookmark: The folder \u201C%1\u201D doesn't exist."_s
                                 << QStringList();
    QTest::addRow("empty data")
        << u"empty"_s << false
        << u"Failed to resolve bookmark: The bookmark data isn't in the correct format."_s << QStringList();
    QTest::addRow("garbage")
        << u"garbage"_s << false
        << u"Failed to resolve bookmark: The bookmark data isn't in the correct format."_s << QStringList();
    QTest::addRow("truncated") << u"truncated"_s << false
                               << u"Failed to resolve bookmark: The bookmark data is incomplete."_s
                               << QStringList();
    QTest::addRow("future version")
        << u"future"_s << false
        << u"Failed to resolve bookmark: The bookmark data was made by a newer version of Veltrin (format 9)."_s
        << QStringList();
    QTest::addRow("text instead of data") << u"text"_s << false << unchanged << QStringList();
}

void TestSignatureService::restore()
{
    QFETCH(QString, bookmark);
    QFETCH(bool, expectedResult);
    QFETCH(QString, expectedMessage);
    QFETCH(QStringList, expectedFiles);
    Fixture f;
    const QString folder = f.makeFolder(kV11, { u"a.mailsignature"_s });
    const QUrl url = QUrl::fromLocalFile(folder);
    const QByteArray valid = *f.folderAccess.bookmarkData(url);

    QVariant stored;
    if (bookmark == u"valid") {
        stored = valid;
    } else if (bookmark == u"stale") {
        stored = valid;
        // Another folder at the same path; the old one stays alive elsewhere, so its inode
        // can't be handed to the new one.
        QVERIFY(QDir().rename(folder, f.homePath(u"moved"_s)));
        f.makeFolder(kV11, { u"a.mailsignature"_s });
    } else if (bookmark == u"gone") {
        stored = valid;
        QVERIFY(QDir(folder).removeRecursively());
        expectedMessage = expectedMessage.arg(folder);
    } else if (bookmark == u"empty") {
        stored = QByteArray();
    } else if (bookmark == u"garbage") {
        stored = QByteArray("\x89PNG\r\n\x1a\n garbage that is no bookmark at all");
    } else if (bookmark == u"truncated") {
        stored = valid.left(valid.size() - 3);
    } else if (bookmark == u"future") {
        QByteArray future = valid;
        future[4] = 9;
        stored = future;
    } else if (bookmark == u"text") {
        stored = QString::fromUtf8(valid.toBase64());
    }
    if (stored.isValid())
        f.preferences.set(SignatureService::bookmarkKey, stored);

    const QList<SignatureFile> earlier { placeholder(u"earlier.mailsignature"_s) };
    f.service->setSignatures(earlier);
    f.service->setErrorMessage(u"earlier message"_s);

    QCOMPARE(f.service->restoreAccessFromBookmark(), expectedResult);
    if (expectedMessage == u"unchanged")
        QCOMPARE(f.service->errorMessage(), u"earlier message"_s);
    else
        QCOMPARE(f.service->errorMessage().value_or(QString()), expectedMessage);
    if (expectedResult)
        QCOMPARE(fileNames(f.service->signatures()), expectedFiles);
    else
        QCOMPARE(f.service->signatures(), earlier); // a failed restore leaves the list alone
    // Whatever happened, the stored value is still the one that was there.
    QCOMPARE(f.preferences.object(SignatureService::bookmarkKey), stored);
}

void TestSignatureService::restoreKeepsStaleBookmark()
{
    Fixture f;
    const QString folder = f.makeFolder(kV11, { u"a.mailsignature"_s });
    f.service->grantAccess(QUrl::fromLocalFile(folder));
    const QByteArray bookmark = *f.preferences.data(SignatureService::bookmarkKey);
    // Keep the old folder alive elsewhere so the new one can't get its inode.
    QVERIFY(QDir().rename(folder, f.homePath(u"moved"_s)));
    f.makeFolder(kV11, { u"b.mailsignature"_s });
    f.service->setErrorMessage(std::nullopt);

    QVERIFY(!f.service->restoreAccessFromBookmark());
    QVERIFY(!f.service->errorMessage());
    QCOMPARE(*f.preferences.data(SignatureService::bookmarkKey), bookmark);
    // The caller opens the panel next; the new choice replaces the stale bookmark.
    f.service->requestAccess();
    f.panel.choose(QUrl::fromLocalFile(folder));
    QVERIFY(*f.preferences.data(SignatureService::bookmarkKey) != bookmark);
    QVERIFY(f.service->restoreAccessFromBookmark());
    QCOMPARE(fileNames(f.service->signatures()), QStringList { u"b.mailsignature"_s });
}

void TestSignatureService::restoredFolderWithoutAccess()
{
    // A bookmark of a file: it resolves, but access to it as a folder can't start.
    Fixture f;
    const QString file = f.homePath(u"Signatures"_s);
    QVERIFY(test::writeFile(file, "a file where the folder should be"));
    f.service->grantAccess(QUrl::fromLocalFile(file));
    QVERIFY(f.service->hasBookmark());
    QCOMPARE(
        f.service->errorMessage(), u"Error reading signatures: \u201C%1\u201D isn't a folder."_s.arg(file));

    const QList<SignatureFile> earlier { placeholder(u"earlier.mailsignature"_s) };
    f.service->setSignatures(earlier);
    QVERIFY(f.service->restoreAccessFromBookmark());
    QVERIFY(f.service->signatures().isEmpty());
    QCOMPARE(f.service->errorMessage(), u"Could not access the selected folder"_s);
    QVERIFY(!f.service->accessedURL());
}

void TestSignatureService::unreadableRestoredFolder()
{
    if (::geteuid() == 0)
        QSKIP("running as root: every folder can be listed");
    Fixture f;
    const QString folder = f.makeFolder(kV11, { u"a.mailsignature"_s });
    f.service->grantAccess(QUrl::fromLocalFile(folder));
    QVERIFY(QFile::setPermissions(folder, QFileDevice::WriteOwner));
    QVERIFY(f.service->restoreAccessFromBookmark());
    QVERIFY(f.service->signatures().isEmpty());
    QCOMPARE(f.service->errorMessage(), u"Could not access the selected folder"_s);

    // Chosen in the panel, the same folder is scanned without access and fails to list.
    f.service->grantAccess(QUrl::fromLocalFile(folder));
    QCOMPARE(f.service->errorMessage(),
        u"Error reading signatures: You don't have permission to view the folder \u201C%1\u201D."_s.arg(
            folder));
    QVERIFY(QFile::setPermissions(
        folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
}

void TestSignatureService::scanKeepsOnlySignatureFiles()
{
    Fixture f;
    const QString folder = f.makeFolder(u"Signatures"_s,
        { u"a.mailsignature"_s, u"b.MAILSIGNATURE"_s, u".hidden.mailsignature"_s, u"notes.txt"_s,
            u"a.mailsignature.bak"_s, u"mailsignature"_s, u"x.y.mailsignature"_s, u"Work.Mailsignature"_s });
    QVERIFY(QDir(folder).mkdir(u"c.mailsignature"_s));
    QVERIFY(QDir(folder).mkdir(u".hidden-folder"_s));
    QVERIFY(QFile::link(
        QDir(folder).filePath(u"a.mailsignature"_s), QDir(folder).filePath(u"link.mailsignature"_s)));
    QVERIFY(
        QFile::link(QDir(folder).filePath(u"missing"_s), QDir(folder).filePath(u"broken.mailsignature"_s)));
    QCOMPARE(
        ::mkfifo(QFile::encodeName(QDir(folder).filePath(u"pipe.mailsignature"_s)).constData(), 0600), 0);

    f.service->grantAccess(QUrl::fromLocalFile(folder));
    QCOMPARE(
        fileNames(f.service->signatures()), (QStringList { u"a.mailsignature"_s, u"x.y.mailsignature"_s }));
    QCOMPARE(displayNames(f.service->signatures()), (QStringList { u"a"_s, u"x.y"_s }));
    QVERIFY(!f.service->errorMessage());
}

void TestSignatureService::scanFillsFields()
{
    Fixture f;
    const QString folder = f.makeFolder(
        u"Signatures"_s, { u"S1.mailsignature"_s, u"S2.mailsignature"_s, u"S3.mailsignature"_s });
    QVERIFY(test::writeFile(QDir(folder).filePath(u"AllSignatures.plist"_s),
        namesPlist({ { u"S1"_s, u"Work"_s }, { u"S2"_s, u"Home"_s }, { u"unknown"_s, u"Gone"_s } })));
    QVERIFY(test::writeFile(QDir(folder).filePath(u"AccountsMap.plist"_s),
        accountsPlist({ { u"imap://me%40work.example/"_s, { u"S1"_s, u"S3"_s } } })));
    // The URL as the caller passes it, trailing slash included, is what the values keep.
    const QUrl folderUrl = QUrl::fromLocalFile(folder + u'/');
    f.service->grantAccess(folderUrl);

    const QList<SignatureFile>& list = f.service->signatures();
    QCOMPARE(displayNames(list), (QStringList { u"Home"_s, u"S3"_s, u"Work"_s }));
    for (const SignatureFile& signature : list) {
        QVERIFY(!signature.id.isNull());
        QCOMPARE(signature.id.version(), QUuid::Random);
        QCOMPARE(signature.parentFolderURL, folderUrl);
        QCOMPARE(signature.filePath, QUrl::fromLocalFile(QDir(folder).filePath(signature.fileName)));
        QVERIFY(!signature.errorMessage);
    }
    QCOMPARE(list.at(0).accountEmails, QStringList());
    QCOMPARE(list.at(1).accountEmails, QStringList { u"me@work.example"_s });
    QCOMPARE(list.at(2).fileName, u"S1.mailsignature"_s);
    QCOMPARE(list.at(2).accountEmails, QStringList { u"me@work.example"_s });
}

void TestSignatureService::sortOrder_data()
{
    QTest::addColumn<QStringList>("names"); // display names of S0, S1, ... in that order
    QTest::addColumn<QStringList>("expected");
    QTest::addRow("case, no folding") << QStringList { u"beta"_s, u"Alpha"_s, u"alpha"_s }
                                      << QStringList { u"Alpha"_s, u"alpha"_s, u"beta"_s };
    QTest::addRow("upper case first")
        << QStringList { u"alpha"_s, u"Zeta"_s } << QStringList { u"Zeta"_s, u"alpha"_s };
    QTest::addRow("no numeric order")
        << QStringList { u"Sig 2"_s, u"Sig 10"_s } << QStringList { u"Sig 10"_s, u"Sig 2"_s };
    QTest::addRow("prefix first") << QStringList { u"Sig 1"_s, u"Sig"_s }
                                  << QStringList { u"Sig"_s, u"Sig 1"_s };
    // U+1F600 is a surrogate pair (D83D DE00) in UTF-16, which would sort it before U+FF21.
    QTest::addRow("above U+FFFF after U+FF21") << QStringList { u"\U0001F600"_s, u"\uFF21"_s, u"\uE000"_s }
                                               << QStringList { u"\uE000"_s, u"\uFF21"_s, u"\U0001F600"_s };
    // Decomposed e + U+0301 composes to U+00E9, which sorts after "f".
    QTest::addRow("composed form") << QStringList { u"e\u0301"_s, u"f"_s }
                                   << QStringList { u"f"_s, u"e\u0301"_s };
    QTest::addRow("no locale rules") << QStringList { u"\u00E9cole"_s, u"zoo"_s }
                                     << QStringList { u"zoo"_s, u"\u00E9cole"_s };
}

void TestSignatureService::sortOrder()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, expected);
    Fixture f;
    QList<std::pair<QString, QString>> entries;
    QStringList files;
    for (int i = 0; i < names.size(); ++i) {
        entries.append({ u"S%1"_s.arg(i), names.at(i) });
        files.append(u"S%1.mailsignature"_s.arg(i));
    }
    const QString folder = f.makeFolder(u"Signatures"_s, files);
    QVERIFY(test::writeFile(QDir(folder).filePath(u"AllSignatures.plist"_s), namesPlist(entries)));
    f.service->grantAccess(QUrl::fromLocalFile(folder));
    QCOMPARE(displayNames(f.service->signatures()), expected);
}

void TestSignatureService::equalNamesKeepListingOrder()
{
    // Far more equal keys than a sort handles by insertion, listed in a scrambled order.
    Fixture f;
    QStringList files;
    QList<std::pair<QString, QString>> entries;
    for (int i = 0; i < 64; ++i) {
        files.append(u"S%1.mailsignature"_s.arg(i));
        // One name in two spellings, equal once composed.
        entries.append({ u"S%1"_s.arg(i), i % 2 ? u"Caf\u00E9"_s : u"Cafe\u0301"_s });
    }
    files.append(u"A.mailsignature"_s);
    entries.append({ u"A"_s, u"Before"_s });
    const QString folder = f.makeFolder(u"Signatures"_s, files);
    QVERIFY(test::writeFile(QDir(folder).filePath(u"AllSignatures.plist"_s), namesPlist(entries)));

    QStringList listed;
    f.files.setLister([&listed, &f](const QUrl& folder) {
        auto listing = f.files.real().listFolder(folder);
        std::shuffle(listing->begin(), listing->end(), std::mt19937(14));
        for (const FolderEntry& entry : std::as_const(*listing))
            listed.append(entry.name);
        return listing;
    });
    f.service->grantAccess(QUrl::fromLocalFile(folder));
    listed.removeAll(u"A.mailsignature"_s);
    listed.removeAll(u"AllSignatures.plist"_s);
    QStringList scanned = fileNames(f.service->signatures());
    QCOMPARE(scanned.takeFirst(), u"A.mailsignature"_s);
    QCOMPARE(scanned, listed);
}

void TestSignatureService::rescanDrawsNewIds()
{
    Fixture f;
    const QString folder = f.makeFolder(u"Signatures"_s, { u"a.mailsignature"_s, u"b.mailsignature"_s });
    f.service->grantAccess(QUrl::fromLocalFile(folder));
    const QList<SignatureFile> first = f.service->signatures();
    QVERIFY(f.service->restoreAccessFromBookmark());
    const QList<SignatureFile> second = f.service->signatures();
    QCOMPARE(fileNames(first), fileNames(second));
    for (const SignatureFile& a : first)
        QVERIFY(!second.contains(a));
    QVERIFY(first != second);
}

void TestSignatureService::emptyFolderNotice_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("suffix"); // appended to the folder URL's path
    QTest::addRow("empty") << QStringList() << QString();
    QTest::addRow("no signature files")
        << QStringList { u"AllSignatures.plist"_s, u"notes.txt"_s } << QString();
    QTest::addRow("trailing slash") << QStringList() << u"/"_s;
}

void TestSignatureService::emptyFolderNotice()
{
    QFETCH(QStringList, files);
    QFETCH(QString, suffix);
    Fixture f;
    const QString folder = f.makeFolder(u"Empty Folder"_s, files);
    f.service->grantAccess(QUrl::fromLocalFile(folder + suffix));
    QVERIFY(f.service->signatures().isEmpty());
    QCOMPARE(f.service->errorMessage(), u"No signature files found in: "_s + folder);
}

void TestSignatureService::listingFailures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expectedMessage");
    QTest::addRow("a file at the folder's path")
        << u"file"_s << u"Error reading signatures: \u201C%1\u201D isn't a folder."_s;
    QTest::addRow("listing fails") << u"read error"_s << u"Error reading signatures: Input/output error"_s;
    QTest::addRow("gone before the listing")
        << u"gone"_s << u"Error reading signatures: The folder \u201C%1\u201D doesn't exist."_s;
}

void TestSignatureService::listingFailures()
{
    QFETCH(QString, kind);
    QFETCH(QString, expectedMessage);
    Fixture f;
    const QString path = f.homePath(u"Signatures"_s);
    if (kind == u"file")
        QVERIFY(test::writeFile(path, "x"));
    if (kind == u"read error") {
        f.makeFolder(u"Signatures"_s, { u"a.mailsignature"_s });
        f.files.setLister([](const QUrl&) -> std::expected<QList<FolderEntry>, Error> {
            return std::unexpected(Error { u"Input/output error"_s });
        });
    }
    f.service->setSignatures({ placeholder(u"earlier.mailsignature"_s) });
    f.service->loadSignatures(QUrl::fromLocalFile(path), false);
    QVERIFY(f.service->signatures().isEmpty());
    QCOMPARE(f.service->errorMessage(), expectedMessage.arg(path));
}

void TestSignatureService::announcements_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("expected");
    const QString w = u"will"_s, s = u"signatures"_s, m = u"message"_s;
    QTest::addRow("set equal list") << u"setSignatures"_s << QStringList { w, s };
    QTest::addRow("set equal message") << u"setErrorMessage"_s << QStringList { w, m };
    QTest::addRow("request, no folder") << u"requestNoFolder"_s << QStringList { w, s, w, m, w, m };
    QTest::addRow("request, panel open") << u"request"_s << QStringList { w, s, w, m };
    QTest::addRow("request, cancelled") << u"requestCancel"_s << QStringList { w, s, w, m, w, m };
    QTest::addRow("grant with files") << u"grant"_s << QStringList { w, s, w, m };
    QTest::addRow("grant fails") << u"grantFails"_s << QStringList { w, m };
    QTest::addRow("restore, none") << u"restoreNone"_s << QStringList();
    QTest::addRow("restore, unresolvable") << u"restoreBad"_s << QStringList { w, m };
    QTest::addRow("restore, no access") << u"restoreNoAccess"_s << QStringList { w, s, w, m };
    QTest::addRow("scan fails") << u"scanFails"_s << QStringList { w, s, w, m };
    QTest::addRow("stop accessing") << u"stop"_s << QStringList();
}

void TestSignatureService::announcements()
{
    QFETCH(QString, operation);
    QFETCH(QStringList, expected);
    Fixture f;
    const QString folder = f.makeFolder(kV11, { u"a.mailsignature"_s });
    const QString file = f.homePath(u"file"_s);
    QVERIFY(test::writeFile(file, "x"));
    if (operation == u"requestNoFolder")
        QVERIFY(QDir(f.homePath(u"Library"_s)).removeRecursively());
    if (operation == u"restoreBad")
        f.preferences.set(SignatureService::bookmarkKey, QByteArray("garbage"));
    if (operation == u"restoreNoAccess")
        f.preferences.set(
            SignatureService::bookmarkKey, *f.folderAccess.bookmarkData(QUrl::fromLocalFile(file)));

    SignalLog log(*f.service);
    if (operation == u"setSignatures")
        f.service->setSignatures(f.service->signatures());
    else if (operation == u"setErrorMessage")
        f.service->setErrorMessage(f.service->errorMessage());
    else if (operation == u"requestNoFolder" || operation == u"request")
        f.service->requestAccess();
    else if (operation == u"requestCancel") {
        f.service->requestAccess();
        f.panel.cancel();
    } else if (operation == u"grant")
        f.service->grantAccess(QUrl::fromLocalFile(folder));
    else if (operation == u"grantFails")
        f.service->grantAccess(QUrl::fromLocalFile(f.homePath(u"missing"_s)));
    else if (operation.startsWith(u"restore"))
        f.service->restoreAccessFromBookmark();
    else if (operation == u"scanFails")
        f.service->loadSignatures(QUrl::fromLocalFile(file), false);
    else if (operation == u"stop") {
        f.service->grantAccess(QUrl::fromLocalFile(folder));
        log.events.clear();
        f.service->stopAccessing();
    }
    QCOMPARE(log.events, expected);
}

void TestSignatureService::accessIsBalanced()
{
    Fixture f;
    const QString folder = f.makeFolder(kV11, { u"a.mailsignature"_s });
    const QString other = f.makeFolder(u"other"_s, { u"b.mailsignature"_s });
    const QUrl url = QUrl::fromLocalFile(folder);
    f.service->grantAccess(url);
    QCOMPARE(f.service->accessedURL(), url);
    QVERIFY(f.service->restoreAccessFromBookmark());
    QVERIFY(f.service->restoreAccessFromBookmark());
    // Rescans replace the access rather than pile it up.
    QCOMPARE(f.folderAccess.accessCount(url), 1);

    f.service->grantAccess(QUrl::fromLocalFile(other));
    QCOMPARE(f.service->accessedURL(), QUrl::fromLocalFile(other));
    QCOMPARE(f.folderAccess.accessCount(url), 0);
    QCOMPARE(f.folderAccess.accessCount(QUrl::fromLocalFile(other)), 1);

    f.service->stopAccessing();
    QVERIFY(!f.service->accessedURL());
    QCOMPARE(f.folderAccess.accessCount(QUrl::fromLocalFile(other)), 0);

    // Teardown ends the access the service still holds.
    f.service->grantAccess(url);
    QCOMPARE(f.folderAccess.accessCount(url), 1);
    f.service.reset();
    QCOMPARE(f.folderAccess.accessCount(url), 0);
}

// Mail's lists as anything but a small regular file: the scan neither blocks (a FIFO would
// hang open() for good) nor follows a link nor reads without end, and gives empty maps.
void TestSignatureService::irregularPropertyListsGiveEmptyMaps_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addRow("FIFO") << u"fifo"_s;
    QTest::addRow("link to a list outside") << u"link"_s;
    QTest::addRow("link to /dev/zero") << u"zero"_s;
    QTest::addRow("oversized") << u"oversized"_s;
}

void TestSignatureService::irregularPropertyListsGiveEmptyMaps()
{
    QFETCH(QString, kind);
    Fixture f;
    const QString folder = f.makeFolder(u"Signatures"_s, { u"S1.mailsignature"_s });
    const QByteArray names = "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><dict>"
                             "<key>SignatureUniqueId</key><string>S1</string>"
                             "<key>SignatureName</key><string>Work</string></dict></array></plist>";
    const QByteArray accounts = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>A</key><dict>"
                                "<key>AccountURL</key><string>imap://zoe%40example.org/</string>"
                                "<key>Signatures</key><array><string>S1</string></array></dict></dict></plist>";
    const QString outside = f.makeFolder(u"Elsewhere"_s);
    QVERIFY(test::writeFile(QDir(outside).filePath(u"names"_s), names));
    QVERIFY(test::writeFile(QDir(outside).filePath(u"accounts"_s), accounts));
    const auto place = [&](const QString& list, const QString& source, const QByteArray& bytes) {
        const QByteArray path = QFile::encodeName(QDir(folder).filePath(list));
        if (kind == u"fifo")
            return ::mkfifo(path.constData(), 0644) == 0;
        if (kind == u"link")
            return ::symlink(QFile::encodeName(QDir(outside).filePath(source)).constData(), path.constData()) == 0;
        if (kind == u"zero")
            return ::symlink("/dev/zero", path.constData()) == 0;
        // Valid, with padding past the limit in a comment.
        return test::writeFile(QString::fromLocal8Bit(path),
            bytes + "<!--" + QByteArray(MailPropertyLists::maxFileSize, 'x') + "-->");
    };
    QVERIFY(place(MailPropertyLists::signatureNamesFileName, u"names"_s, names));
    QVERIFY(place(MailPropertyLists::accountsMapFileName, u"accounts"_s, accounts));

    f.service->grantAccess(QUrl::fromLocalFile(folder));
    QCOMPARE(f.service->signatures().size(), 1);
    QCOMPARE(f.service->signatures().first().displayName, u"S1"_s);
    QVERIFY(f.service->signatures().first().accountEmails.isEmpty());
    QVERIFY(SignatureService::readSignatureNames(QUrl::fromLocalFile(folder)).isEmpty());
    QVERIFY(SignatureService::readAccountsMap(QUrl::fromLocalFile(folder)).isEmpty());
}

// A file name that is not UTF-8 beside its twin spelled with U+FFFD: two rows, each read and
// saved as the file it was built from.
void TestSignatureService::scanKeepsNamesAsBytes()
{
    Fixture f;
    const QString folder = f.makeFolder(u"Signatures"_s);
    const QByteArray native = QFile::encodeName(folder);
    const QUrl raw = FileOperations::fileUrl(native + "/caf\xe9.mailsignature");
    const QUrl twin = FileOperations::fileUrl(native + "/caf\xef\xbf\xbd.mailsignature");
    QVERIFY(f.files.real().replaceFile(raw, "Content-Type: text/html\n\n<p>raw</p>\n"));
    QVERIFY(f.files.real().replaceFile(twin, "Content-Type: text/html\n\n<p>twin</p>\n"));
    f.service->grantAccess(QUrl::fromLocalFile(folder));
    const QList<SignatureFile> found = f.service->signatures();
    QCOMPARE(found.size(), 2);
    QSet<QUrl> paths;
    for (const SignatureFile& signature : found) {
        paths.insert(signature.filePath);
        const auto content = f.service->storage().loadContent(signature);
        QVERIFY2(content, qPrintable(content ? QString() : content.error().description));
        QCOMPARE(content->html, signature.filePath == raw ? u"<p>raw</p>\n"_s : u"<p>twin</p>\n"_s);
    }
    QCOMPARE(paths, QSet<QUrl>({ raw, twin }));
    const SignatureFile& first = found.first().filePath == raw ? found.first() : found.last();
    const auto saved = f.service->storage().save(first, u"Content-Type: text/html"_s, u"<p>edited</p>"_s);
    QVERIFY2(saved, qPrintable(saved ? QString() : saved.error().description));
    QCOMPARE(f.files.real().readFile(raw, 1024).value_or(QByteArray()), QByteArray("Content-Type: text/html\n\n<p>edited</p>\n"));
    QCOMPARE(f.files.real().readFile(twin, 1024).value_or(QByteArray()), QByteArray("Content-Type: text/html\n\n<p>twin</p>\n"));
    QCOMPARE(f.attributes.calls(), QStringList({ u"clear "_s + raw.toLocalFile(), u"lock "_s + raw.toLocalFile() }));
    QCOMPARE(f.attributes.isImmutable(twin), false);
}

// What the list shows comes from the scan's one listing.
void TestSignatureService::scanGivesSizeAndTime()
{
    Fixture f;
    const QString folder = f.makeFolder(u"Signatures"_s);
    const QString path = QDir(folder).filePath(u"A.mailsignature"_s);
    QVERIFY(test::writeFile(path, QByteArray(1'234, 'x')));
    const QDateTime modified = QDateTime::currentDateTimeUtc().addSecs(-3600);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    file.close();
    f.service->grantAccess(QUrl::fromLocalFile(folder));
    QCOMPARE(f.service->signatures().size(), 1);
    QCOMPARE(f.service->signatures().first().fileSize, 1'234);
    QCOMPARE(f.service->signatures().first().scannedModificationDate.toSecsSinceEpoch(), modified.toSecsSinceEpoch());
}

QTEST_GUILESS_MAIN(TestSignatureService)
#include "tst_signatureservice.moc"
