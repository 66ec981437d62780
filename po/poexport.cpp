#include "po/poexport.h"

#include "po/gettextpo.h"
#include "po/pocontext.h"
#include "codec/decode.h"
#include "codec/messageheader.h"
#include "io/savefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

namespace core {

using namespace po;

namespace {

// Entries whose messages are held by the library at once. The library keeps a
// few hundred bytes per message, so the template is written in pieces, each
// through the library, and joined: memory stays small however large the archive.
constexpr int entriesPerPiece = 512;

// The archive's file name as a header value: one line, no control characters.
QString projectName(const QString &archivePath)
{
    QString name = QFileInfo(archivePath).fileName();
    for (QChar &c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    }
    return name.isEmpty() ? QStringLiteral("narc") : name;
}

// The header entry: the standard fields of a fresh template, no dates, marked
// fuzzy as every template's header is.
po_message_t headerMessage(const QString &project)
{
    const QByteArray fields = QStringLiteral(
                                  "Project-Id-Version: %1\n"
                                  "Report-Msgid-Bugs-To: \n"
                                  "PO-Revision-Date: YEAR-MO-DA HO:MI+ZONE\n"
                                  "Last-Translator: FULL NAME <EMAIL@ADDRESS>\n"
                                  "Language-Team: LANGUAGE <LL@li.org>\n"
                                  "Language: \n"
                                  "MIME-Version: 1.0\n"
                                  "Content-Type: text/plain; charset=UTF-8\n"
                                  "Content-Transfer-Encoding: 8bit\n")
                                  .arg(project)
                                  .toUtf8();
    const QByteArray comments = QStringLiteral(
                                    "Lines of %1 to translate, one message per line that is not empty.\n"
                                    "msgctxt: entry/section/line (entries and sections count from 0, lines from 1).\n"
                                    "Keep every \\xhhhh escape as it is: it stands for a control code or a\n"
                                    "character a text file cannot carry. Keep each translation on one line.\n")
                                    .arg(project)
                                    .toUtf8();
    po_message_t header = po_message_create();
    po_message_set_msgid(header, "");
    po_message_set_msgstr(header, fields.constData());
    po_message_set_comments(header, comments.constData());
    po_message_set_fuzzy(header, 1);
    return header;
}

// The distinct escapes of an escaped line, in order of appearance, separated by
// spaces. Every backslash of an escaped line starts a six-character escape.
QString escapesIn(const QString &line)
{
    QStringList escapes;
    for (qsizetype at = line.indexOf(QLatin1Char('\\')); at >= 0; at = line.indexOf(QLatin1Char('\\'), at + 1)) {
        const QString escape = line.mid(at, 6);
        if (!escapes.contains(escape))
            escapes.append(escape);
    }
    return escapes.join(QLatin1Char(' '));
}

// The widths every context of this archive uses.
PoContextWidths widthsFor(const Narc &narc)
{
    qint64 sections = 0;
    qint64 lines = 0;
    for (const NarcEntry &entry : narc.files) {
        if (entry.isEmpty())
            continue;
        const MessageHeaderRead head = readMessageHeader(entry);
        if (!head.ok())
            continue;
        sections = qMax<qint64>(sections, head.header.sectionCount);
        lines = qMax<qint64>(lines, head.header.lineCount);
    }
    return {contextWidth(narc.files.size() - 1), contextWidth(sections - 1), contextWidth(lines)};
}

bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    return first.exists() && second.exists() && first.canonicalFilePath() == second.canonicalFilePath();
}

// The piece the library wrote to `scratch`, read back. The library does not
// notice every failed write (a file size limit cuts its output short without a
// report), so the piece must hold every message it was given, in the form the
// library writes: each starts a line with msgctxt, and the piece ends with the
// last message's empty msgstr (or, with no messages, the header's last field).
bool readBack(const QTemporaryFile &scratch, qint64 messages, QByteArray *bytes)
{
    QFile file(scratch.fileName());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    const bool complete = messages == 0 ? bytes->endsWith("8bit\\n\"\n") : bytes->endsWith("msgstr \"\"\n");
    return complete && bytes->count("\nmsgctxt \"") == messages;
}

} // namespace

BulkSummary exportToPoTemplate(const Narc &narc, const QString &archivePath, const QString &path,
                               BulkObserver &observer)
{
    BulkSummary summary;
    const int count = int(narc.files.size());
    observer.begin(count);
    observer.status(QStringLiteral("Exporting: "));
    observer.report(QStringLiteral("Exporting to PO template ") + path);
    const auto failed = [&](const QString &reason) {
        observer.report(QStringLiteral("Failed to export to PO template ") + path + QStringLiteral(": ") + reason);
        summary.filesFailed = 1;
        return summary;
    };

    if (!archivePath.isEmpty() && sameFile(archivePath, path))
        return failed(QStringLiteral("that is the archive itself"));
    const QFileInfo target(path);
    if (target.exists() && !target.isFile())
        return failed(QStringLiteral("it is not a regular file"));

    // The library writes only to a named file: each piece goes to a scratch file
    // first and from there into the template.
    QTemporaryFile scratch;
    if (!scratch.open())
        return failed(QStringLiteral("no temporary file: ") + scratch.errorString());
    scratch.close();
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return failed(out.errorString());

    const QString project = projectName(archivePath);
    // The header as the library writes it, to be dropped from every piece but the first.
    QByteArray headerBytes;
    {
        PoFile headerOnly(po_file_create());
        PoIterator iterator(po_message_iterator(headerOnly.get(), nullptr));
        po_message_insert(iterator.get(), headerMessage(project));
        iterator.reset();
        const QString error = writePoFile(headerOnly.get(), scratch.fileName());
        if (!error.isEmpty())
            return failed(error);
        if (!readBack(scratch, 0, &headerBytes))
            return failed(QStringLiteral("gettext's output is incomplete"));
    }

    const PoContextWidths widths = widthsFor(narc);
    qint64 messages = 0;
    QByteArray piece;
    for (int first = 0; first < count || first == 0; first += entriesPerPiece) {
        PoFile file(po_file_create());
        PoIterator iterator(po_message_iterator(file.get(), nullptr));
        po_message_insert(iterator.get(), headerMessage(project));
        qint64 pieceMessages = 0;
        for (int i = first; i < count && i < first + entriesPerPiece; ++i) {
            observer.progress(i);
            const NarcEntry &entry = narc.files.at(i);
            if (entry.isEmpty())
                continue;
            const MessageHeaderRead head = readMessageHeader(entry);
            if (!head.ok()) {
                ++summary.sectionsUnreadable;
                observer.report(QStringLiteral("Cannot decode entry %1: %2").arg(i).arg(head.error));
                continue;
            }
            for (int s = 0; s < head.header.sectionCount; ++s) {
                const DecodedSection decoded = decodeMessageSection(entry, s);
                if (!decoded.error.isEmpty()) {
                    ++summary.sectionsUnreadable;
                    observer.report(QStringLiteral("Cannot decode section %1 of entry %2: %3")
                                        .arg(s)
                                        .arg(i)
                                        .arg(decoded.error));
                    continue;
                }
                for (int l = 0; l < decoded.lines.size(); ++l) {
                    const QString &line = decoded.lines.at(l);
                    if (line.isEmpty())
                        continue;
                    const PoPlace place{i, s, l + 1};
                    QString comments = placeInWords(place);
                    const QString escapes = escapesIn(line);
                    if (!escapes.isEmpty())
                        comments += QStringLiteral("\nescapes to keep: ") + escapes;
                    po_message_t message = po_message_create();
                    po_message_set_msgctxt(message, poContext(place, widths).toUtf8().constData());
                    po_message_set_msgid(message, line.toUtf8().constData());
                    po_message_set_msgstr(message, "");
                    po_message_set_extracted_comments(message, comments.toUtf8().constData());
                    po_message_insert(iterator.get(), message);
                    ++pieceMessages;
                }
            }
        }
        iterator.reset();
        if (pieceMessages == 0 && first > 0)
            continue;

        const QString error = writePoFile(file.get(), scratch.fileName());
        if (!error.isEmpty())
            return failed(error);
        if (!readBack(scratch, pieceMessages, &piece))
            return failed(QStringLiteral("gettext's output is incomplete"));
        if (first > 0) {
            // Messages are separated by one empty line, as the library separates them.
            if (!piece.startsWith(headerBytes + '\n'))
                return failed(QStringLiteral("gettext wrote an unexpected header"));
            piece.remove(0, headerBytes.size());
        }
        if (out.write(piece) != piece.size())
            return failed(out.errorString());
        messages += pieceMessages;
    }

    QString error;
    if (!commitSaveFile(out, &error))
        return failed(error);
    summary.filesWritten = 1;
    summary.finished = true;
    observer.status(QStringLiteral("Finished Exporting!"));
    observer.report(QStringLiteral("Finished exporting %1 messages to PO template ").arg(messages) + path);
    return summary;
}

} // namespace core
