#include "cli/commands.h"

#include "onefile/exportfile.h"
#include "tree/exporttree.h"
#include "tree/importtree.h"
#include "po/poexport.h"
#include "po/poimport.h"
#include "search/replace.h"
#include "report/lines.h"
#include "search/search.h"
#include "io/textfile.h"
#include "tree/layout.h"
#include "cli/console.h"
#include "codec/compose.h"
#include "codec/decode.h"
#include "codec/messageheader.h"
#include "narc/narcfile.h"

#include <QFile>

#include <cstdio>
#include <utility>

using namespace core;

namespace {

// The exit status for how a bulk run ended.
int exitStatus(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Done:
        return ExitOk;
    case Outcome::DoneWithSkips:
        return ExitProblem;
    case Outcome::Refused:
        break;
    }
    return ExitUsage;
}

const QChar tab = QLatin1Char('\t');
const QChar newline = QLatin1Char('\n');
// find writes its output in pieces of about this many characters.
constexpr qsizetype outputChunk = 1 << 20;

bool loadArchive(const QString &path, Narc &narc, ConsoleObserver &console)
{
    NarcRead read = loadNarcFile(path);
    if (!read.ok()) {
        console.report(loadFailedLine(path, read.error));
        return false;
    }
    narc = std::move(read.narc);
    return true;
}

// Writes the archive as "Write To Narc" does. The file at `path` is replaced only
// once the new bytes are complete.
bool saveArchive(Narc &narc, const QString &path, ConsoleObserver &console)
{
    QString error;
    if (saveNarcFile(narc, path, &error))
        return true;
    console.report(writeFailedLine(path, error));
    return false;
}

// Where import and set write: -o, else the archive itself.
QString outputPath(const Invocation &call)
{
    return call.output.isEmpty() ? call.arguments.at(0) : call.output;
}

// A decimal number of at most nine digits, nothing else.
bool parseNumber(const QString &text, int *value)
{
    if (text.isEmpty() || text.size() > 9)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    *value = text.toInt();
    return true;
}

// The ENTRY and SECTION arguments of show and set, as numbers; false after a
// usage message.
bool parsePlace(const Invocation &call, int *entry, int *section, ConsoleObserver &console)
{
    if (!parseNumber(call.arguments.at(1), entry)) {
        usageError(console, notAnIndexReason(call.arguments.at(1)));
        return false;
    }
    if (!parseNumber(call.arguments.at(2), section)) {
        usageError(console, notASectionReason(call.arguments.at(2)));
        return false;
    }
    return true;
}

// False after a usage message when the archive has no such entry, or the entry's
// head says it has no such section. A head too short to say lets the codec
// report the entry as it is.
bool placeExists(const Narc &narc, int entry, int section, ConsoleObserver &console)
{
    if (entry >= narc.files.size()) {
        usageError(console, noSuchEntryReason(entry, narc.files.size()));
        return false;
    }
    const int count = declaredSectionCount(narc.files.at(entry));
    if (count >= 0 && section >= count) {
        usageError(console, entryLacksSectionReason(entry, section, count));
        return false;
    }
    return true;
}


// Why `entry` is not a well-formed message file, or an empty string.
QString messageFileProblem(const NarcEntry &entry, const MessageHeaderRead &head)
{
    if (!head.ok())
        return head.reason;
    for (int s = 0; s < head.header.sectionCount; ++s) {
        const DecodedSection decoded = decodeMessageSection(entry, s, DecodeForm::KeysOnly);
        if (!decoded.ok())
            return decoded.reason;
    }
    return {};
}

// Prints `text` on standard output as UTF-8, in one write.
bool printOut(const QString &text, ConsoleObserver &console)
{
    QString error;
    if (writeStdout(text.toUtf8(), &error))
        return true;
    console.report(stdoutFailedLine(error));
    return false;
}

// The text of TEXTFILE ('-': standard input) for a section of `lineCount` lines,
// read as every edited text is (see readEditedText).
bool readTextArgument(const QString &path, int lineCount, QString *text, ConsoleObserver &console)
{
    TextRead read;
    const QString name = inputName(path);
    if (path == QStringLiteral("-")) {
        QFile in;
        if (in.open(stdin, QIODevice::ReadOnly))
            read = readEditedText(in, lineCount);
        else
            read.reason = in.errorString();
    } else {
        read = readEditedTextFile(path, Links::Follow, lineCount);
    }
    if (!read.ok()) {
        console.report(importFailedLine(name, read.reason));
        return false;
    }
    *text = read.text;
    return true;
}

} // namespace

int usageError(ConsoleObserver &console, const QString &message)
{
    console.report(usageLine(message));
    return ExitUsage;
}

int runList(const Invocation &call, ConsoleObserver &console)
{
    // Entry by entry: listing needs no more than one entry in memory at a time.
    // Nothing is printed unless the whole archive reads.
    const QString &path = call.arguments.at(0);
    QString out;
    const QString error = loadNarcFileEntries(path, [&](quint32 i, const NarcEntry &entry) {
        out += QString::number(i) + tab + QString::number(entry.size()) + tab;
        // An empty entry is a message file without sections, and so without lines.
        if (entry.isEmpty()) {
            out += QStringLiteral("0\t0\n");
            return;
        }
        const MessageHeaderRead head = readMessageHeader(entry);
        const QString problem = messageFileProblem(entry, head);
        if (problem.isEmpty())
            out += QString::number(head.header.sectionCount) + tab + QString::number(head.header.lineCount);
        else
            out += QStringLiteral("not a message file: ") + problem;
        out += newline;
    });
    if (!error.isEmpty()) {
        console.report(loadFailedLine(path, error));
        return ExitUsage;
    }
    return printOut(out, console) ? ExitOk : ExitUsage;
}

int runShow(const Invocation &call, ConsoleObserver &console)
{
    int entry = 0;
    int section = 0;
    if (!parsePlace(call, &entry, &section, console))
        return ExitUsage;
    Narc narc;
    if (!loadArchive(call.arguments.at(0), narc, console) || !placeExists(narc, entry, section, console))
        return ExitUsage;

    const DecodedSection decoded = decodeMessageSection(narc.files.at(entry), section);
    if (!decoded.ok()) {
        console.report(cannotDecodeLine(entry, section, decoded.reason));
        return ExitProblem;
    }
    return printOut(decoded.lines.join(newline) + newline, console) ? ExitOk : ExitUsage;
}

int runExportTree(const Invocation &call, ConsoleObserver &console)
{
    Narc narc;
    if (!loadArchive(call.arguments.at(0), narc, console))
        return ExitUsage;

    const QString chosen = call.arguments.at(1);
    const QString failure = createTreeDirs(chosen);
    if (!failure.isEmpty()) {
        console.report(failure);
        return ExitProblem;
    }

    const BulkSummary summary = exportToTree(narc, chosen, console);
    console.finish();
    return exitStatus(summary.outcome());
}

int runExportFile(const Invocation &call, ConsoleObserver &console)
{
    Narc narc;
    if (!loadArchive(call.arguments.at(0), narc, console))
        return ExitUsage;

    const BulkSummary summary = exportToFile(narc, call.arguments.at(1), console);
    console.finish();
    return exitStatus(summary.outcome());
}

int runImport(const Invocation &call, ConsoleObserver &console)
{
    Narc narc;
    if (!loadArchive(call.arguments.at(0), narc, console))
        return ExitUsage;

    const BulkSummary summary = importFromTree(narc, call.arguments.at(1), console);
    console.finish();
    if (summary.outcome() == Outcome::Refused)
        return ExitUsage; // nothing was read: the archive stays as it is
    if (!saveArchive(narc, outputPath(call), console))
        return ExitUsage;
    return exitStatus(summary.outcome());
}

int runSet(const Invocation &call, ConsoleObserver &console)
{
    int entry = 0;
    int section = 0;
    if (!parsePlace(call, &entry, &section, console))
        return ExitUsage;
    Narc narc;
    if (!loadArchive(call.arguments.at(0), narc, console) || !placeExists(narc, entry, section, console))
        return ExitUsage;

    // From here on the archive is written whatever happens to the section.
    bool replaced = false;
    QString text;
    const MessageHeaderRead head = readMessageHeader(narc.files.at(entry));
    const int lineCount = head.ok() ? int(head.header.lineCount) : anyLineCount;
    if (readTextArgument(call.arguments.at(3), lineCount, &text, console)) {
        ComposeResult result = composeEntry(narc.files.at(entry), text, section);
        if (!result.changed())
            console.report(composeRefusedLine(entry, section, result.reason));
        replaced = result.changed();
        if (replaced)
            narc.files[entry] = std::move(result.entry);
    }
    if (!saveArchive(narc, outputPath(call), console))
        return ExitUsage;
    return replaced ? ExitOk : ExitProblem;
}

int runFind(const Invocation &call, ConsoleObserver &console)
{
    Narc narc;
    if (!loadArchive(call.arguments.at(0), narc, console))
        return ExitUsage;

    // One line per line that holds the text, however often it does; written in
    // pieces, so a search that matches everything does not hold all its output.
    const SearchQuery query{call.arguments.at(1), call.ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive};
    QString out;
    bool writeFailed = false;
    SearchMatch last;
    const SearchSummary summary = searchArchive(narc, query, console, [&](const SearchMatch &match, const QString &line) {
        if (match.entry == last.entry && match.section == last.section && match.line == last.line)
            return true;
        last = match;
        out += QString::number(match.entry) + tab + QString::number(match.section) + tab
               + QString::number(match.line + 1) + tab + line + newline;
        if (out.size() >= outputChunk) {
            writeFailed = !printOut(out, console);
            out.clear();
        }
        return !writeFailed;
    });
    if (writeFailed || !printOut(out, console))
        return ExitUsage;
    if (summary.insideEscapes > 0)
        console.report(insideEscapesLine(summary.insideEscapes));
    return summary.matches > 0 ? 0 : 1;
}

int runReplace(const Invocation &call, ConsoleObserver &console)
{
    const SearchQuery query{call.arguments.at(1), call.ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive};
    const QString &replacement = call.arguments.at(2);
    const Status problem = replaceProblem(query, replacement);
    if (!problem)
        return usageError(console, withReason(QStringLiteral("replace"), problem.reason));
    Narc narc;
    if (!loadArchive(call.arguments.at(0), narc, console))
        return ExitUsage;

    const ReplaceSummary summary = replaceInArchive(narc, query, replacement, console);
    console.finish();
    // Nothing replaced, nothing written: not even -o's file is made.
    if (summary.occurrences == 0)
        return ExitProblem;
    if (!saveArchive(narc, outputPath(call), console))
        return ExitUsage;
    return exitStatus(summary.outcome());
}

int runExportPo(const Invocation &call, ConsoleObserver &console)
{
    Narc narc;
    if (!loadArchive(call.arguments.at(0), narc, console))
        return ExitUsage;

    const BulkSummary summary = exportToPoTemplate(narc, call.arguments.at(0), call.arguments.at(1), console);
    console.finish();
    return exitStatus(summary.outcome());
}

int runImportPo(const Invocation &call, ConsoleObserver &console)
{
    Narc narc;
    if (!loadArchive(call.arguments.at(0), narc, console))
        return ExitUsage;

    const PoImportSummary summary = importFromPo(narc, call.arguments.at(1), console);
    console.finish();
    // A file that was refused changes nothing, not even OUTPUT.
    if (summary.outcome() == Outcome::Refused)
        return ExitUsage;
    if (!saveArchive(narc, outputPath(call), console))
        return ExitUsage;
    return exitStatus(summary.outcome());
}
