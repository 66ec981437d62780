// The bodies of narctext's commands and the table that declares them. Each body
// gets the archive already loaded (see runner.cpp) and returns how it ended.

#include "check/archivecheck.h"
#include "cli/command.h"
#include "cli/console.h"
#include "codec/compose.h"
#include "codec/decode.h"
#include "codec/messagecheck.h"
#include "codec/messageheader.h"
#include "diff/difftext.h"
#include "document/archivesource.h"
#include "document/romarchives.h"
#include "io/textfile.h"
#include "narc/narcfile.h"
#include "onefile/exportfile.h"
#include "po/pocheck.h"
#include "po/poexport.h"
#include "po/poimport.h"
#include "report/lines.h"
#include "search/replace.h"
#include "search/search.h"
#include "tree/exporttree.h"
#include "tree/importtree.h"
#include "tree/layout.h"

#include <QFile>

#include <limits>
#include <memory>
#include <utility>

using namespace core;

namespace {

const QChar tab = QLatin1Char('\t');
const QChar newline = QLatin1Char('\n');
// '-' as a file name: standard input or output.
const QString standardStream = QStringLiteral("-");

Ending refuse(ConsoleObserver &console, const QString &problem)
{
    console.report(usageLine(problem));
    return Ending::Refused;
}

// An empty string when the archive has the entry and section of `call`, else the
// problem. A head too short to say lets the codec report the entry as it is.
// The same for the section alone, of the entry `entry`.
QString sectionProblem(EntryView entry, const Invocation &call)
{
    const int count = declaredSectionCount(entry);
    if (count >= 0 && call.section >= count)
        return entryLacksSectionReason(call.entry, call.section, count);
    return {};
}

QString placeProblem(const Narc &narc, const Invocation &call)
{
    if (call.entry >= narc.files.size())
        return noSuchEntryReason(call.entry, narc.files.size());
    return sectionProblem(narc.files.at(call.entry), call);
}

SearchQuery queryOf(const Invocation &call)
{
    return {call.arguments.at(1), call.ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive};
}

void visitList(Context &context, quint32 index, EntryView entry)
{
    QString line = QString::number(index) + tab + QString::number(entry.size()) + tab;
    // An empty entry is a message file without sections, and so without lines.
    if (entry.isEmpty()) {
        line += QStringLiteral("0\t0");
    } else {
        const MessageHeaderRead head = readMessageHeader(entry);
        const QString problem = messageFileProblem(entry, head);
        if (problem.isEmpty())
            line += QString::number(head.header.sectionCount) + tab + QString::number(head.header.lineCount);
        else
            line += QStringLiteral("not a message file: ") + problem;
    }
    // Printed once the whole archive has read.
    context.out.hold(line + newline);
}

Ending runList(Context &)
{
    return Ending::Done;
}

Ending runShow(Context &context)
{
    const Invocation &call = context.call;
    const QString problem = placeProblem(context.narc, call);
    if (!problem.isEmpty())
        return refuse(context.console, problem);
    const DecodedSection decoded = decodeMessageSection(context.narc.files.at(call.entry), call.section);
    if (!decoded.ok()) {
        context.console.report(cannotDecodeLine(call.entry, call.section, decoded.reason));
        return Ending::DoneWithSkips;
    }
    context.out.print(decoded.lines.join(newline) + newline);
    return Ending::Done;
}

Ending runExportTree(Context &context)
{
    const EditedFiles edited = context.call.force ? EditedFiles::Replace : EditedFiles::Refuse;
    return endingOf(exportToTree(*context.entries, context.call.arguments.at(1), context.archiveFile, edited,
                                 context.console)
                        .outcome());
}

Ending runExportFile(Context &context)
{
    return endingOf(
        exportToFile(*context.entries, context.call.arguments.at(1), context.archiveFile, context.console).outcome());
}

Ending runImport(Context &context)
{
    // A tree refused whole changes nothing: the archive stays as it is.
    return endingOf(importFromTree(*context.edits, context.call.arguments.at(1), context.console).outcome());
}

// The text of TEXTFILE ('-': standard input) for a section of `lineCount` lines,
// read as every edited text is (see readEditedText).
Result<QString> readTextArgument(const QString &path, int lineCount)
{
    if (path != standardStream)
        return readEditedTextFile(path, Links::Follow, lineCount);
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return Result<QString>::failure(in.errorString());
    return readEditedText(in, lineCount);
}

Ending runSet(Context &context)
{
    const Invocation &call = context.call;
    EditableEntries &entries = *context.edits;
    if (call.entry >= entries.count())
        return refuse(context.console, noSuchEntryReason(call.entry, entries.count()));
    EntryView entry;
    entries.rewind();
    for (int i = 0; i <= call.entry; ++i) {
        // The runner reports an entry that cannot be read.
        if (!entries.next(&entry))
            return Ending::Refused;
    }
    const QString problem = sectionProblem(entry, call);
    if (!problem.isEmpty())
        return refuse(context.console, problem);

    // A section refused changes nothing, and then nothing is written.
    const MessageHeaderRead head = readMessageHeader(entry);
    const QString &source = call.arguments.at(3);
    const Result<QString> read = readTextArgument(source, head.ok() ? int(head.header.lineCount) : anyLineCount);
    if (!read) {
        context.console.report(importFailedLine(inputName(source), read.reason));
        return Ending::DoneWithSkips;
    }
    ComposeResult result = composeEntry(entry.toEntry(), read.value, call.section);
    if (!result.changed()) {
        context.console.report(composeRefusedLine(call.entry, call.section, result.reason));
        return Ending::DoneWithSkips;
    }
    entries.replace(std::move(result.entry));
    return Ending::Done;
}

Ending runFind(Context &context)
{
    // One line per line that holds the text, however often it does; written in
    // pieces, so a search that matches everything does not hold all its output.
    SearchMatch last;
    const SearchSummary summary = searchArchive(
        *context.entries, queryOf(context.call), context.console,
        [&](const SearchMatch &match, const QString &line) {
            if (match.entry == last.entry && match.section == last.section && match.line == last.line)
                return true;
            last = match;
            return context.out.print(QString::number(match.entry) + tab + QString::number(match.section) + tab
                                     + QString::number(match.line + 1) + tab + line + newline);
        },
        std::numeric_limits<qint64>::max());
    if (summary.insideEscapes > 0)
        context.console.report(insideEscapesLine(summary.insideEscapes));
    return summary.matches > 0 ? Ending::Done : Ending::NothingFound;
}

QString checkReplace(const Invocation &call)
{
    const Status problem = replaceProblem(queryOf(call), call.arguments.at(2));
    return problem ? QString() : withReason(QStringLiteral("replace"), problem.reason);
}

Ending runReplace(Context &context)
{
    const ReplaceSummary summary = replaceInArchive(context.narc, queryOf(context.call), context.call.arguments.at(2),
                                                    context.console);
    // Nothing replaced, nothing written: not even -o's file is made.
    if (summary.occurrences == 0)
        return Ending::NothingFound;
    return endingOf(summary.outcome());
}

Ending runExportPo(Context &context)
{
    const Invocation &call = context.call;
    return endingOf(exportToPoTemplate(*context.entries, call.archivePath(), call.arguments.at(1), context.archiveFile,
                                       context.console)
                        .outcome());
}

Ending runImportPo(Context &context)
{
    // A file that was refused changes nothing, not even OUTPUT.
    const Invocation &call = context.call;
    PoImportOptions options;
    options.strict = call.strict;
    options.breaks = call.breaks;
    return endingOf(importFromPo(context.narc, call.arguments.at(1), context.console, options).outcome());
}

WidthRule widthRuleOf(const Invocation &call)
{
    return {call.width, call.breaks};
}

// Findings go to standard output, one line each, as they are found.
FindingSink printFindings(Context &context)
{
    return [&context](const QString &line) { return context.out.print(line + newline); };
}

QString checkCheck(const Invocation &call)
{
    if (call.width == 0 && call.reference.isEmpty())
        return QStringLiteral("check needs --width N, --reference ORIGINAL.narc or both");
    return {};
}

Ending runCheck(Context &context)
{
    const Invocation &call = context.call;
    ArchiveCheck check;
    check.width = widthRuleOf(call);
    // The original is read beside the archive, one entry of each at a time.
    std::unique_ptr<ArchiveEntries> reference;
    if (!call.reference.isEmpty()) {
        Result<std::unique_ptr<ArchiveEntries>> opened = ArchiveEntries::open(call.reference);
        if (!opened.ok()) {
            context.console.report(loadFailedLine(call.reference, opened.reason));
            return Ending::Refused;
        }
        reference = std::move(opened.value);
    }
    const CheckSummary summary = checkArchive(*context.entries, reference.get(), check, printFindings(context),
                                              context.console);
    if (reference && !reference->failure().isEmpty()) {
        context.console.report(loadFailedLine(call.reference, reference->failure()));
        return Ending::Refused;
    }
    if (summary.readFailed)
        return Ending::Refused; // the archive's failure is reported by the runner
    // The findings are on the terminal before the line that counts them.
    if (summary.stopped || !context.out.flush())
        return Ending::Refused; // standard output failed, and said so
    context.console.finish();
    context.console.note(checkedLinesLine(summary.lines, summary.findings));
    return summary.findings > 0 ? Ending::Findings : Ending::Done;
}

Ending runCheckPo(Context &context)
{
    const PoCheckSummary summary = checkPoFile(context.call.arguments.at(0), widthRuleOf(context.call),
                                               printFindings(context), context.console);
    if (summary.refused || summary.stopped || !context.out.flush())
        return Ending::Refused;
    context.console.note(checkedTranslationsLine(summary.translations, summary.findings));
    return summary.findings > 0 ? Ending::Findings : Ending::Done;
}

// OLD and NEW are read side by side, one entry of each at a time, so memory
// stays about two entries whatever their size.
Ending runDiff(Context &context)
{
    const Invocation &call = context.call;
    const QString &oldPath = call.arguments.at(0);
    const QString &newPath = call.arguments.at(1);
    std::unique_ptr<ArchiveEntries> archives[2];
    for (int side = 0; side < 2; ++side) {
        const QString &path = call.arguments.at(side);
        Result<std::unique_ptr<ArchiveEntries>> opened = ArchiveEntries::open(path);
        if (!opened) {
            context.console.report(loadFailedLine(path, opened.reason));
            return Ending::Refused;
        }
        archives[side] = std::move(opened.value);
    }
    ArchiveEntries &before = *archives[0];
    ArchiveEntries &after = *archives[1];
    const DiffDetail detail = call.stat ? DiffDetail::Counts : DiffDetail::Lines;
    DiffTotals totals;
    const auto show = [&](const EntryComparison &comparison) {
        totals.add(comparison);
        if (comparison.differs())
            context.out.print(call.stat ? diffStatText(comparison) : diffText(comparison));
    };

    context.console.status(comparingStatus());
    context.console.begin(before.count());
    const int count = qMax(before.count(), after.count());
    EntryView oldEntry;
    EntryView newEntry;
    for (int i = 0; i < count; ++i) {
        const bool inOld = i < before.count() && before.next(&oldEntry);
        const bool inNew = i < after.count() && after.next(&newEntry);
        if (!before.failure().isEmpty() || !after.failure().isEmpty())
            break;
        if (inNew)
            context.console.progress(i);
        show(compareEntries(i, inOld ? &oldEntry : nullptr, inNew ? &newEntry : nullptr, detail));
    }
    for (int side = 0; side < 2; ++side) {
        if (!archives[side]->failure().isEmpty()) {
            context.console.report(loadFailedLine(side == 0 ? oldPath : newPath, archives[side]->failure()));
            return Ending::Refused;
        }
    }
    if (call.stat && totals.differs())
        context.out.print(diffTotalText(totals));
    return totals.differs() ? Ending::Differences : Ending::Done;
}

// Every archive of the image, one line each; a malformed image is refused.
Ending runRomList(Context &context)
{
    const QString &image = context.call.arguments.at(0);
    const Result<QList<RomArchive>> listed = listRomArchives(image);
    if (!listed) {
        context.console.report(loadFailedLine(image, listed.reason));
        return Ending::Refused;
    }
    for (const RomArchive &archive : listed.value) {
        const QString line = archive.problem.isEmpty()
                                 ? romArchiveLine(archive.name(), archive.id, archive.size, archive.entries,
                                                  archive.messages)
                                 : romArchiveProblemLine(archive.name(), archive.id, archive.size, archive.problem);
        if (!context.out.print(line + newline))
            return Ending::Refused;
    }
    return Ending::Done;
}

const Argument archiveArgument{"ARCHIVE", Argument::Path,
                               "the NARC archive, or one inside a ROM image: GAME.nds:PATH or GAME.nds:#ID"};
const Argument entryArgument{"ENTRY", Argument::Entry, "an entry index, from 0"};
const Argument sectionArgument{"SECTION", Argument::Section, "0 for the hiragana section, 1 for the kanji section"};
const Argument textArgument{"TEXT", Argument::Text, "the text to find, as the editor shows it (escapes as \\xhhhh)"};

} // namespace

Ending endingOf(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Done:
        return Ending::Done;
    case Outcome::DoneWithSkips:
        return Ending::DoneWithSkips;
    case Outcome::Refused:
        break;
    }
    return Ending::Refused;
}

QString Command::synopsis() const
{
    QString line = QLatin1String(name);
    if (takes(IgnoreCaseOption))
        line += QStringLiteral(" [-i]");
    if (takes(ForceOption))
        line += QStringLiteral(" [--force]");
    if (takes(StrictOption))
        line += QStringLiteral(" [--strict]");
    if (takes(StatOption))
        line += QStringLiteral(" [--stat]");
    if (takes(DryRunOption))
        line += QStringLiteral(" [-n]");
    for (const Argument &argument : arguments)
        line += QLatin1Char(' ') + QLatin1String(argument.name);
    if (takes(WidthOption))
        line += QStringLiteral(" [--width N]");
    if (takes(BreakOption))
        line += QStringLiteral(" [--break ESCAPE]...");
    if (takes(ReferenceOption))
        line += QStringLiteral(" [--reference ORIGINAL.narc]");
    if (takes(OutputOption))
        line += QStringLiteral(" [-o OUTPUT]");
    return line;
}

const QList<Command> &commands()
{
    using A = Command::Archive;
    static const QList<Command> table{
        {"list",
         {archiveArgument},
         NoOption,
         "one line per entry: index, size in bytes, section count, line count",
         "An entry that is not a message file says why in place of its counts.",
         A::ReadEach,
         nullptr,
         visitList,
         runList},
        {"rom-list",
         {{"IMAGE", Argument::Path, "a DS ROM image (.nds)"}},
         NoOption,
         "one line per archive inside a ROM image: path, file id, size in bytes, entry count, kind",
         "The kind is \"messages\" when every entry is a message file, \"other\" when not. An archive "
         "without a name in the image is listed as #ID. Name one as IMAGE:PATH or IMAGE:#ID wherever an "
         "archive is named. A file that is not a well-formed image is refused (exit status 2).",
         A::None,
         nullptr,
         nullptr,
         runRomList},
        {"show",
         {archiveArgument, entryArgument, sectionArgument},
         NoOption,
         "print one section's lines as the editor shows them (escapes as \\xhhhh)",
         "On a terminal, control characters print as their escapes too.",
         A::Read,
         nullptr,
         nullptr,
         runShow},
        {"export",
         {archiveArgument, {"DIR", Argument::Path, "the tree to write, made when missing"}},
         ForceOption,
         "write every section into DIR/0000 and DIR/0001, one UTF-8 file per entry",
         "Section 0 goes to DIR/0000, section 1 to DIR/0001, each entry into the file named by its index "
         "(0042.txt), one line per message. Files that differ from what it would write (edited since an "
         "earlier export) are kept and the export refused, unless --force is given. Linked folders, and a "
         "tree file that is the archive, are refused.",
         A::Stream,
         nullptr,
         nullptr,
         runExportTree},
        {"export-file",
         {archiveArgument, {"FILE", Argument::Path, "the file to write ('-': standard output)"}},
         NoOption,
         "write every entry into one UTF-8 file",
         "Each entry and section stands behind a ****Entry header. FILE is replaced only once it is complete.",
         A::Stream,
         nullptr,
         nullptr,
         runExportFile},
        {"import",
         {archiveArgument, {"DIR", Argument::Path, "a tree made by export"}},
         OutputOption | DryRunOption,
         "read a tree made by export back in and write the archive",
         "A tree without DIR/0000 or DIR/0001 is refused and nothing is written. A file missing from the tree "
         "is reported; a file that cannot be read, or a section refused, is skipped.",
         A::Edit,
         nullptr,
         nullptr,
         runImport},
        {"set",
         {archiveArgument,
          entryArgument,
          sectionArgument,
          {"TEXTFILE", Argument::Path, "the section's new lines ('-': standard input)"}},
         OutputOption | DryRunOption,
         "replace one section with the lines of TEXTFILE ('-': standard input)",
         "The text is composed as the editor's Save Text composes it, with the same refusals.",
         A::Edit,
         nullptr,
         nullptr,
         runSet},
        {"find",
         {archiveArgument, textArgument},
         IgnoreCaseOption,
         "print entry, section, line number (from 1) and line of every line containing TEXT",
         "A match inside a \\xhhhh escape is left alone unless TEXT holds a backslash. Exits 0 when a line "
         "matched, 1 when none did, 2 on an error. Use -- before a TEXT that starts with '-'.",
         A::Stream,
         nullptr,
         nullptr,
         runFind},
        {"export-po",
         {archiveArgument, {"FILE.pot", Argument::Path, "the template to write ('-': standard output)"}},
         NoOption,
         "write every line that is not empty into a gettext PO template",
         "Each message names its line in msgctxt as entry/section/line.",
         A::Stream,
         nullptr,
         nullptr,
         runExportPo},
        {"import-po",
         {archiveArgument, {"FILE.po", Argument::Path, "the translations ('-': standard input)"}},
         OutputOption | DryRunOption | StrictOption | BreakOption,
         "put the translated, not fuzzy messages of a PO file back and write the archive",
         "A file that is missing, unreadable or not valid PO changes nothing (exit status 2). Each message is "
         "taken on its own: one that cannot be stored is reported and left out (exit status 1), the rest of its "
         "section goes in. A translation whose control escapes differ from its source's is applied with a "
         "line to check it, or left out with --strict; escapes named with --break may move freely.",
         A::ReadWrite,
         nullptr,
         nullptr,
         runImportPo},
        {"replace",
         {archiveArgument, textArgument, {"REPLACEMENT", Argument::Replacement, "the new text; may be empty"}},
         OutputOption | DryRunOption | IgnoreCaseOption,
         "replace TEXT with REPLACEMENT in every section, as if edited and saved",
         "Each section changed is composed as Save Text composes it; a section the editor would refuse is "
         "reported and left as it was. Exits 1, writing nothing, when nothing matched.",
         A::ReadWrite,
         checkReplace,
         nullptr,
         runReplace},
        {"check",
         {archiveArgument},
         WidthOption | BreakOption | ReferenceOption,
         "report lines too wide for the text box, and what differs from the original",
         "One line per finding on standard output, in archive order, its place first: rows wider than N "
         "characters, and with --reference, lines whose control escapes differ from the same line of the "
         "original, entries and sections whose counts differ. A row ends at the end of a line and at each "
         "--break escape; full-width characters count 2, control escapes 0. Exits 0 with no findings, 1 with "
         "findings, 2 on an error.",
         A::Stream,
         checkCheck,
         nullptr,
         runCheck},
        {"check-po",
         {{"FILE.po", Argument::Path, "the translations ('-': standard input)"}},
         WidthOption | BreakOption,
         "report what an import would leave out or should be checked in a PO file's translations",
         "One line per finding on standard output, in the order of the archive: translations that cannot be "
         "stored, whose control escapes differ from their source's, or (with --width) with rows wider than N "
         "characters. Exits 0 with no findings, 1 with findings, 2 on an error.",
         A::None,
         nullptr,
         nullptr,
         runCheckPo},
        {"diff",
         {{"OLD.narc", Argument::Path, "the archive as it was"}, {"NEW.narc", Argument::Path, "the archive as it is"}},
         StatOption,
         "print every line whose text differs between two archives",
         "Lines compare by place (line 5 with line 5), as the editor shows them (escapes as \\xhhhh). Each run "
         "of adjacent lines that differ gets a header naming them in words (@@ entry 3, Hiragana, lines 5-7 @@), "
         "then each line as it was (-) and as it is (+); entries and sections only one archive has, line counts "
         "that differ and entries that cannot be decoded and whose bytes differ get a line each. --stat prints "
         "one line per entry that differs and the lines changed of the lines of NEW. Exits 0 when the texts are "
         "equal (printing nothing), 1 when they differ, 2 on an error.",
         A::None,
         nullptr,
         nullptr,
         runDiff},
    };
    return table;
}
