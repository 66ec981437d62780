#include "po/poexport.h"

#include "codec/decode.h"
#include "codec/messageheader.h"
#include "io/savefile.h"
#include "po/pocontext.h"
#include "po/powriter.h"
#include "report/lines.h"

#include <QFileInfo>

#include <cstring>
#include <memory>

namespace core {

using namespace po;

namespace {

// Bytes collected before they go to the file.
constexpr qsizetype chunkSize = 256 << 10;

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
void appendHeader(QByteArray &out, const QString &project)
{
    appendPoComments(out, "#",
                     QStringLiteral("Lines of %1 to translate, one message per line that is not empty.\n"
                                    "msgctxt: entry/section/line (entries and sections count from 0, lines from 1).\n"
                                    "Keep every \\xhhhh escape as it is: it stands for a control code or a\n"
                                    "character a text file cannot carry. Keep each translation on one line.")
                         .arg(project)
                         .toUtf8());
    out += "#, fuzzy\n";
    appendPoString(out, "msgid", "");
    appendPoString(out, "msgstr",
                   QStringLiteral("Project-Id-Version: %1\n"
                                  "Report-Msgid-Bugs-To: \n"
                                  "PO-Revision-Date: YEAR-MO-DA HO:MI+ZONE\n"
                                  "Last-Translator: FULL NAME <EMAIL@ADDRESS>\n"
                                  "Language-Team: LANGUAGE <LL@li.org>\n"
                                  "Language: \n"
                                  "MIME-Version: 1.0\n"
                                  "Content-Type: text/plain; charset=UTF-8\n"
                                  "Content-Transfer-Encoding: 8bit\n")
                       .arg(project)
                       .toUtf8());
}

char *put(char *out, QByteArrayView bytes)
{
    std::memcpy(out, bytes.data(), size_t(bytes.size()));
    return out + bytes.size();
}

// `number` in decimal, zero padded to `width` digits (more when it needs them).
char *putNumber(char *out, int number, int width)
{
    char digits[12];
    int count = 0;
    do {
        digits[count++] = char('0' + number % 10);
        number /= 10;
    } while (number > 0);
    for (; width > count; --width)
        *out++ = '0';
    while (count > 0)
        *out++ = digits[--count];
    return out;
}

// The distinct escapes of an escaped line, in order of appearance, separated by
// spaces, written at `out`. Every backslash of a decoded line starts a
// six-character escape.
char *putEscapesIn(char *out, QByteArrayView line)
{
    char *const start = out;
    const char *const end = line.data() + line.size();
    for (const char *at = line.data(); (at = static_cast<const char *>(std::memchr(at, '\\', size_t(end - at))));
         ++at) {
        const QByteArrayView escape(at, qMin<qsizetype>(6, end - at));
        if (QByteArrayView(start, out - start).contains(escape))
            continue;
        if (out != start)
            *out++ = ' ';
        out = put(out, escape);
    }
    return out;
}

// Appends one message per line of the section that is not empty; returns how
// many. Each message is written in place, in room made for its longest form.
qint64 appendSection(QByteArray &out, QByteArrayView text, int entry, int section, const PoContextWidths &widths)
{
    static constexpr QByteArrayView escapesHead = "\n#. escapes to keep: ";
    const QByteArray words = "\n#. " + linePlacePrefix(entry, section).toUtf8();
    const QByteArray context = "msgctxt \"" + poContextPrefix(entry, section, widths).toLatin1();
    qint64 messages = 0;
    int line = 0;
    const char *const end = text.data() + text.size();
    for (const char *start = text.data(); start <= end; ++line) {
        const char *stop = static_cast<const char *>(std::memchr(start, '\n', size_t(end - start)));
        if (!stop)
            stop = end;
        const QByteArrayView shown(start, stop - start);
        start = stop + 1;
        if (shown.isEmpty())
            continue;
        const qsizetype used = out.size();
        out.resize(used + words.size() + escapesHead.size() + context.size() + 5 * shown.size() + 80);
        char *at = out.data() + used;
        at = put(at, words);
        at = putNumber(at, line + 1, 0);
        const char *escapes = at + escapesHead.size();
        char *escapesEnd = putEscapesIn(at + escapesHead.size(), shown);
        if (escapesEnd != escapes) {
            std::memcpy(at, escapesHead.data(), size_t(escapesHead.size()));
            at = escapesEnd;
        }
        // "\nmsgctxt \"EEEE/SSSS/LLLL\"\n"
        *at++ = '\n';
        at = put(at, context);
        at = putNumber(at, line + 1, widths.line);
        at = put(at, "\"\nmsgid ");
        at = putPoQuoted(at, shown);
        at = put(at, "\nmsgstr \"\"\n");
        out.truncate(at - out.constData());
        ++messages;
    }
    return messages;
}

// The widths every context of this archive uses: a pass over the entries' heads.
Result<PoContextWidths> widthsFor(EntrySource &entries)
{
    qint64 sections = 0;
    qint64 lines = 0;
    const Status read = entries.forEach([&](int, EntryView entry) {
        if (entry.isEmpty())
            return true;
        const MessageHeaderRead head = readMessageHeader(entry);
        if (head.ok()) {
            sections = qMax<qint64>(sections, head.header.sectionCount);
            lines = qMax<qint64>(lines, head.header.lineCount);
        }
        return true;
    });
    if (!read)
        return Result<PoContextWidths>::failure(read.reason);
    return Result<PoContextWidths>::success({contextWidth(entries.count() - 1), contextWidth(sections - 1),
                                             contextWidth(lines)});
}

} // namespace

BulkSummary exportToPoTemplate(const Narc &narc, const QString &archivePath, const QString &path,
                               const FileIdentity &archive, BulkObserver &observer)
{
    HeldEntries entries(narc);
    return exportToPoTemplate(entries, archivePath, path, archive, observer);
}

BulkSummary exportToPoTemplate(EntrySource &entries, const QString &archivePath, const QString &path,
                               const FileIdentity &archive, BulkObserver &observer)
{
    BulkSummary summary;
    const QString name = outputName(path);
    QString reason;
    const auto failed = [&] {
        observer.report(poExportFailedLine(name, reason));
        summary.filesFailed = 1;
        return summary; // an unfinished file is discarded, the old one stays
    };

    // Refused before it begins: no line says an export started.
    const Result<bool> overArchive = path == QLatin1String("-") ? Result<bool>::success(false)
                                                                : namesFile(path, archive);
    if (!overArchive || overArchive.value) {
        reason = overArchive ? archiveBeingEditedReason() : overArchive.reason;
        summary = failed();
        summary.refused = true;
        return summary;
    }
    const int count = entries.count();
    observer.begin(count);
    observer.status(exportingStatus());
    observer.note(exportingToPoLine(name));
    Result<std::unique_ptr<QFileDevice>> opened = openOutputFile(path);
    if (!opened) {
        reason = opened.reason;
        return failed();
    }
    QFileDevice *out = opened.value.get();

    // The entries' failure() says why one could not be read; nothing of the
    // template is kept then.
    const auto unread = [&] {
        cancelWholeFile(*out);
        summary.refused = true;
        return summary;
    };
    const Result<PoContextWidths> widths = widthsFor(entries);
    if (!widths)
        return unread();
    QByteArray buffer;
    buffer.reserve(chunkSize + chunkSize / 4);
    appendHeader(buffer, projectName(archivePath));
    QByteArray text; // one section's lines as UTF-8, reused
    qint64 messages = 0;
    const Status read = entries.forEach([&](int i, EntryView entry) {
        observer.progress(i);
        if (entry.isEmpty())
            return true;
        const MessageHeaderRead head = readMessageHeader(entry);
        if (!head.ok()) {
            ++summary.sectionsUnreadable;
            observer.report(cannotDecodeEntryLine(i, head.reason));
            return true;
        }
        for (int s = 0; s < head.header.sectionCount; ++s) {
            text.resize(0);
            const SectionRead decoded = appendSectionUtf8(text, entry, s);
            if (!decoded.ok()) {
                ++summary.sectionsUnreadable;
                observer.report(cannotDecodeLine(i, s, decoded.reason));
                continue;
            }
            messages += appendSection(buffer, text, i, s, widths.value);
        }
        if (buffer.size() >= chunkSize) {
            reason = writeAllBytes(*out, buffer.constData(), buffer.size()).reason;
            if (!reason.isEmpty())
                return false;
            buffer.resize(0);
        }
        return true;
    });
    if (!read)
        return unread();
    if (!reason.isEmpty())
        return failed();
    Status written = writeAllBytes(*out, buffer.constData(), buffer.size());
    if (written)
        written = commitWholeFile(*out);
    if (!written) {
        reason = written.reason;
        return failed();
    }

    summary.filesWritten = 1;
    summary.finished = true;
    observer.status(exportFinishedStatus());
    observer.note(poExportFinishedLine(messages, name));
    return summary;
}

} // namespace core
