#include "SignatureWriter.h"

#include "MimeReader.h"
#include "QuotedPrintableEncoder.h"
#include "platform/FileAttributes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace veltrin {

namespace {

constexpr int lockedPermissions = 0600;
constexpr qint64 copyChunk = qint64(1) << 20;

QString quoted(const QString& path)
{
    return u'\u201C' + path + u'\u201D';
}

// Makes a folder's new or renamed entries durable. Failure only costs durability after a
// crash, never the save itself, so it is not reported.
void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// Copies the bytes into a new file; an existing file is never replaced. On failure the
// reason is returned and a half-written copy is removed again (it was made by this call).
std::expected<void, QString> copyIntoNewFile(const QString& source, const QString& target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return std::unexpected(QStringLiteral("the signature file can't be read (%1)").arg(in.errorString()));
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly, in.permissions())) {
        if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
            return std::unexpected(QStringLiteral("a backup with this name already exists"));
        return std::unexpected(QStringLiteral("the backup can't be created (%1)").arg(out.errorString()));
    }
    const auto abandon = [&out](const QString& reason) {
        out.close();
        out.remove();
        return std::unexpected(reason);
    };
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(copyChunk);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
            return abandon(QStringLiteral("the signature file can't be read (%1)").arg(in.errorString()));
        if (out.write(chunk) != chunk.size())
            return abandon(QStringLiteral("the backup can't be written (%1)").arg(out.errorString()));
    }
    if (!out.flush() || ::fsync(out.handle()) != 0)
        return abandon(QStringLiteral("the backup can't be written (%1)").arg(out.errorString()));
    out.close();
    return {};
}

// A header block as lines, each with the break that ends it (a carriage return and line
// feed count as one break here, so that the file's own line ends are kept).
struct HeaderLine {
    QString text;
    QString lineBreak;
};

QList<HeaderLine> headerLines(const QString& header)
{
    QList<HeaderLine> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < header.size(); ++i) {
        if (!isLineBreak(header[i]))
            continue;
        const qsizetype breakLength
            = (header[i] == u'\r' && i + 1 < header.size() && header[i + 1] == u'\n') ? 2 : 1;
        lines.append({ header.mid(start, i - start), header.mid(i, breakLength) });
        i += breakLength - 1;
        start = i + 1;
    }
    lines.append({ header.mid(start), QString() });
    return lines;
}

// One header with its continuation lines, as a piece of the original text and the break
// after it. Empty lines (which only odd line breaks such as CR CR make) are left out: kept
// next to a removed header they could join into a blank line and end the header block.
struct HeaderField {
    QString text;
    QString lineBreak;
    QString name;
};

QList<HeaderField> headerFields(const QString& header)
{
    QList<HeaderField> fields;
    for (const HeaderLine& line : headerLines(header)) {
        if (line.text.isEmpty())
            continue;
        const bool startsField = !isWhiteSpace(line.text.front());
        if (startsField || fields.isEmpty()) {
            const qsizetype colon = line.text.indexOf(u':');
            fields.append({ line.text, line.lineBreak,
                startsField && colon >= 0 ? line.text.left(colon).trimmed().toLower() : QString() });
        } else {
            HeaderField& field = fields.back();
            field.text += field.lineBreak + line.text;
            field.lineBreak = line.lineBreak;
        }
    }
    return fields;
}

// Whether a header says something about the body: every Content- header, and any line
// the reader would take for the body's type or for quoted-printable.
bool describesBody(const HeaderField& field)
{
    return field.name.startsWith(QLatin1String("content-")) || findContentTypeLine(field.text).has_value()
        || declaresQuotedPrintable(field.text);
}

} // namespace

SignatureWriter::SignatureWriter(FileAttributes& attributes, Clock now)
    : m_attributes(attributes)
    , m_now(std::move(now))
{
}

QString SignatureWriter::backupFolder(const QUrl& filePath)
{
    return QDir(QFileInfo(filePath.toLocalFile()).absolutePath()).filePath(QStringLiteral("VeltrinBackup"));
}

QString SignatureWriter::backupFileName(const QUrl& filePath, const QDateTime& moment)
{
    const QFileInfo file(filePath.toLocalFile());
    // ISODate leaves out the milliseconds: whole seconds and "Z".
    QString name = file.completeBaseName() + u".bak." + moment.toUTC().toString(Qt::ISODate);
    if (!file.suffix().isEmpty())
        name += u'.' + file.suffix();
    return name;
}

QString SignatureWriter::singlePartHeader(const QString& header)
{
    const QList<HeaderField> fields = headerFields(header);
    QString lineBreak = QStringLiteral("\n");
    for (const HeaderLine& line : headerLines(header)) {
        if (!line.lineBreak.isEmpty()) {
            lineBreak = line.lineBreak;
            break;
        }
    }
    const HeaderField declaration { u"Content-Type: text/html; charset=utf-8" + lineBreak
            + u"Content-Transfer-Encoding: 8bit",
        lineBreak, {} };

    QList<HeaderField> kept;
    bool declared = false;
    for (const HeaderField& field : fields) {
        if (!describesBody(field)) {
            kept.append(field);
        } else if (!declared) {
            // In the place of the first header that described the body.
            kept.append(declaration);
            declared = true;
        }
    }
    if (!declared)
        kept.prepend(declaration);

    QString result;
    for (qsizetype i = 0; i < kept.size(); ++i) {
        result += kept[i].text;
        if (i + 1 < kept.size())
            result += kept[i].lineBreak;
    }
    return result;
}

QString SignatureWriter::composeText(const QString& header, const QString& html)
{
    QString text;
    if (declaresMultipart(header))
        text = singlePartHeader(header) + u"\n\n" + html;
    else if (declaresQuotedPrintable(header))
        text = header + u"\n\n" + encodeQuotedPrintable(html);
    else
        text = header + u"\n\n" + html;
    if (!text.endsWith(u'\n'))
        text += u'\n';
    return text;
}

std::expected<SaveResult, Error> SignatureWriter::save(
    const QUrl& filePath, const QString& header, const QString& html) const
{
    const QString path = filePath.toLocalFile();

    // Failures of these two are left to the steps after them to report.
    (void)m_attributes.clearImmutable(path);
    const QString folder = backupFolder(filePath);
    QDir().mkpath(folder);

    const QString backupPath = QDir(folder).filePath(backupFileName(filePath, m_now()));
    if (const auto copied = copyIntoNewFile(path, backupPath); !copied) {
        const QString reason = QFileInfo(folder).isDir()
            ? copied.error()
            : QStringLiteral("the backup folder is missing and can't be created");
        return std::unexpected(Error { QStringLiteral("Could not back up %1 to %2: %3. Nothing was written.")
                                           .arg(quoted(path), quoted(backupPath), reason) });
    }
    syncFolder(folder);

    const QByteArray bytes = composeText(header, html).toUtf8();
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        return std::unexpected(Error {
            QStringLiteral("Could not write %1: %2. The file keeps its previous text; a backup is in %3.")
                .arg(quoted(path), out.errorString(), quoted(backupPath)) });
    }
    syncFolder(QFileInfo(path).absolutePath());

    const auto lock = m_attributes.setPermissionsAndImmutable(path, lockedPermissions);
    if (!lock) {
        return std::unexpected(
            Error { QStringLiteral("%1. The new text was written; the previous one is in %2.")
                        .arg(lock.error().description, quoted(backupPath)) });
    }
    return SaveResult { QUrl::fromLocalFile(backupPath), lock->locked, lock->reason };
}

QList<QUrl> SignatureWriter::backups(const QUrl& filePath) const
{
    const QString prefix = QFileInfo(filePath.toLocalFile()).completeBaseName() + u".bak.";
    const QDir folder(backupFolder(filePath));
    struct Entry {
        QString path;
        QDateTime created;
    };
    QList<Entry> entries;
    // Hidden entries are left out by not asking for them.
    const QFileInfoList listing
        = folder.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& entry : listing) {
        if (!entry.fileName().startsWith(prefix))
            continue;
        QDateTime created = entry.birthTime();
        // Where the file system keeps no birth time, the status change time stands in: a
        // backup is written once and not changed afterwards.
        if (!created.isValid())
            created = entry.metadataChangeTime();
        entries.append({ entry.absoluteFilePath(), created });
    }
    // Newest first; an unreadable date counts as the most distant past.
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (!b.created.isValid())
            return a.created.isValid();
        return a.created.isValid() && a.created > b.created;
    });
    QList<QUrl> result;
    result.reserve(entries.size());
    for (const Entry& entry : entries)
        result.append(QUrl::fromLocalFile(entry.path));
    return result;
}

QDateTime SignatureWriter::modificationDate(const QUrl& filePath) const
{
    const QDateTime modified = QFileInfo(filePath.toLocalFile()).lastModified();
    return modified.isValid() ? modified.toUTC() : m_now().toUTC();
}

} // namespace veltrin
