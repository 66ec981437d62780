#pragma once

#include "codec/refusal.h"
#include "report/place.h"

#include <QString>

namespace core {

// Every line the user reads: the window's log and status label, narctext's
// standard error, and the summaries both show. Built here only, so that no two
// places word the same event differently. A reason (words from base/result.h's
// `reason`, the codec or the system) is always attached one way: after ": ".
//
// Places: "Skipping SSSS/EEEE" lines name the tree file (section/entry, zero
// padded); every other line names a message in words ("entry 2, Hiragana, line
// 1") or by its PO context with the words beside it. See report/place.h.

// `line`, then ": " and `reason` when there is one.
QString withReason(const QString &line, const QString &reason);

// How lines name a file argument: "-" is "standard input" or "standard output",
// any other path is itself.
QString inputName(const QString &path);
QString outputName(const QString &path);

// The reason for an allocation that failed: "not enough memory".
QString notEnoughMemoryReason();

// The archive.
QString loadedLine(const QString &path);                             // "Loaded PATH"
QString loadFailedLine(const QString &path, const QString &reason);  // "Failed to load PATH: REASON"
QString writtenLine(const QString &path);                            // "Finished writing PATH"
QString writeFailedLine(const QString &path, const QString &reason); // "Failed to write PATH: REASON"
QString noArchiveOpenLine();                                         // "No archive is open; nothing written"
// The reason an output that is the archive itself is refused.
QString archiveBeingEditedReason(); // "it is the archive being edited"

// The status beside the progress bar while bulk work runs, and once it ends.
QString exportingStatus();      // "Exporting: "
QString importingStatus();      // "Importing: "
QString exportFinishedStatus(); // "Finished Exporting!"
QString importFinishedStatus(); // "Finished Importing!"
QString comparingStatus();      // "Comparing: " (narctext diff)

// Message files that cannot be decoded.
QString cannotDecodeEntryLine(int entry, const QString &reason);         // "Cannot decode entry E: REASON"
QString cannotDecodeLine(int entry, int section, const QString &reason); // "Cannot decode section S of entry E: REASON"
QString sectionCannotBeDecodedReason(const QString &reason);             // "the section cannot be decoded: REASON"

// Edited text refused for section `section` of entry `entry`: "Skipping SSSS/EEEE
// due to too few lines", "... due to too many lines (5 of 4)", "Skipping
// SSSS/EEEE: line 2 has a backslash that starts no escape: "\x00zz"", ...
QString composeRefusedLine(int entry, int section, const TextRefusal &reason);
// "Skipping SSSS/EEEE: the entry has no section S": a tree file, or text given for
// a section the entry does not have.
QString noSuchSectionLine(int entry, int section);

// The export tree.
QString exportingToDirectoryLine(const QString &root);        // "Exporting to directory ROOT"
QString importingFromDirectoryLine(const QString &root);      // "Importing from directory ROOT"
QString importFinishedFromDirectoryLine(const QString &root); // "Finished importing from directory ROOT"
QString exportTreeMissingLine(const QString &root); // "Failed to export. Either 0000 or 0001 does not exist in ROOT"
QString importTreeMissingLine(const QString &root); // "Failed to import. Either 0000 or 0001 does not exist in ROOT"
QString createDirectoryFailedLine(const QString &dir,
                                  const QString &reason); // "Failed to create the directory DIR: REASON"
// A file of the tree or of the one-file export.
QString exportFailedLine(const QString &path, const QString &reason); // "Failed to export to file PATH: REASON"
QString importFailedLine(const QString &path,
                         const QString &reason = QString()); // "Failed to import from file: PATH: REASON"
QString exportOverArchiveLine(const QString &path);          // exportFailedLine(path, archiveBeingEditedReason())

// The one-file export.
QString exportingToFileLine(const QString &path); // "Exporting to file PATH"

// Find and replace. Matches that start or end inside a \xNNNN escape are left
// alone; the summaries count them.
QString nothingReplacedLine(const QString &reason); // "Nothing replaced: REASON"
// "Replaced N occurrences in M sections", then "; K matches inside escapes left alone" when K > 0.
QString replacedLine(qint64 occurrences, int sections, qint64 insideEscapes);
// "K matches inside escapes left alone" (narctext find, on standard error, when K > 0).
QString insideEscapesLine(qint64 insideEscapes);
// The find dialog's status after a search: "No matches", "1 match", "12 matches;
// the first 10 are listed", then " (2 sections could not be decoded)" and
// "; K matches inside escapes left alone" as they apply.
QString findStatusText(qint64 total, qint64 listed, int unreadable, qint64 insideEscapes);
// The replace dialog's count: "No matches" or "3 matches in 2 sections", with the
// same additions.
QString countStatusText(qint64 matches, int sections, int unreadable, qint64 insideEscapes);

// PO templates and translations.
QString exportingToPoLine(const QString &path); // "Exporting to PO template PATH"
QString poExportFailedLine(const QString &path,
                           const QString &reason); // "Failed to export to PO template PATH: REASON"
QString poExportFinishedLine(qint64 messages,
                             const QString &path); // "Finished exporting N messages to PO template PATH"
QString importingPoLine(const QString &path);      // "Importing translations from PATH"
QString poImportFailedLine(const QString &path,
                           const QString &reason); // "Failed to import translations from PATH: REASON"
// "Finished importing translations from PATH: A applied, S skipped, U untranslated,
// F fuzzy", then ", E with changed escapes" when E > 0.
QString poImportFinishedLine(const QString &path, int applied, int skipped, int untranslated, int fuzzy,
                             int escapesChanged = 0);
// "Skipping CONTEXT (entry 2, Hiragana, line 1): REASON": a message left out.
QString poMessageSkippedLine(const QString &context, const MessagePlace &place, const QString &reason);
// "Check CONTEXT (entry 2, Hiragana, line 1): REASON": a message applied that
// deserves a second look (its escapes differ from its source's).
QString poMessageWarningLine(const QString &context, const MessagePlace &place, const QString &reason);
// Why a translation cannot be stored as a line (BadEscape or LineTooLong): "the
// translation has a backslash that starts no escape: "\x05c"", "the translation
// is too long (70000 units, at most 65535)".
QString translationRefusedReason(const TextRefusal &reason);
// "Skipping msgid "TEXT": it has no msgctxt naming its line"
QString poNoContextLine(const QString &msgid);
QString noMsgctxtReason(); // "it has no msgctxt naming its line"
// "Failed to check translations in PATH: REASON"
QString poCheckFailedLine(const QString &path, const QString &reason);
// "Skipping msgctxt "TEXT": REASON", for a context that names no line.
QString poBadContextLine(const QString &context, const QString &reason);
// "(N more reports not shown)": gettext's reports past the first few.
QString moreReportsLine(int count);

// Translators' checks (narctext check and check-po, the window's line width).
// A finding is one line, its place first, then what was found:
// "0001/0000/0003 (entry 1, Hiragana, line 3): too wide: 41 of 38".
QString findingLine(const QString &place, const QString &what); // "PLACE: WHAT"
// Places: a line by its PO context, with the words beside it ("0001/0000/0003
// (entry 1, Hiragana, line 3)"); a section ("0001/0000 (entry 1, Hiragana)"); an
// entry ("0001 (entry 1)"); a message of a PO file that names no line
// ("msgctxt "TEXT"", "msgid "TEXT"").
QString messagePlaceText(const QString &context, const MessagePlace &place);
QString messagePlaceText(const MessagePlace &place); // the context as an export writes it
QString sectionPlaceText(int entry, int section);
QString entryPlaceText(int entry);
QString poMsgctxtPlaceText(const QString &context);
QString poMsgidPlaceText(const QString &msgid);
// "too wide: 41 of 38", and " (row 2 of 3)" when the line has several rows.
QString tooWideText(int width, int limit, int row, int rows);
// How the escapes of a text differ from those of its source (a PO message's msgid)
// or of the same line of a reference archive: "escapes differ from the source:
// missing \xfffe; added \x0002", or, with the same escapes in another order,
// "escapes differ from the reference: in another order: \x0001 \xfffe, the
// reference has \xfffe \x0001".
enum class EscapeOrigin { Source, Reference };
QString escapesDifferText(EscapeOrigin origin, const QList<quint16> &missing, const QList<quint16> &added);
QString escapesReorderedText(EscapeOrigin origin, const QList<quint16> &order, const QList<quint16> &originOrder);
// "\x000a \xfffe": escapes as the editor shows them, separated by spaces.
QString escapeListText(const QList<quint16> &units);
QString lineCountDiffersText(int lines, int referenceLines);          // "line count differs: 5, the reference has 4"
QString sectionCountDiffersText(int sections, int referenceSections); // "section count differs: 1, the reference has 2"
QString notInReferenceText();                                         // "not in the reference"
QString onlyInReferenceText();                                        // "missing: only the reference has it"
QString cannotBeDecodedText(const QString &reason);                   // "cannot be decoded: REASON"
QString referenceCannotBeDecodedText(const QString &reason);          // "the reference cannot be decoded: REASON"
// The last line of a check, on standard error: "Checked 122 lines: 3 findings",
// "Checked 2 translations: no findings".
QString checkedLinesLine(qint64 lines, qint64 findings);
QString checkedTranslationsLine(qint64 translations, qint64 findings);
// The window's status while a line width is set: "line 3: 41 of 38", or "line 3,
// row 2: 41 of 38" in a line of several rows.
QString lineWidthStatusText(int line, int row, int rows, int width, int limit);
// Why text given as escapes to break lines at is refused.
QString notAnEscapeReason(const QString &text); // "\"TEXT\" is not an escape such as \x000a"

// Comparing two archives (narctext diff, the dry runs, the window's reference).
// Places are in words. A diff hunk: its header, then each line as it was ("-")
// and as it is ("+"), escaped as the editor shows it.
QString diffHunkHeaderLine(int entry, int section, int firstLine,
                           int lastLine);           // "@@ entry 3, Hiragana, line 5 @@", "... lines 5-7 @@"
QString diffOldLine(const QString &text);           // "-TEXT"
QString diffNewLine(const QString &text);           // "+TEXT"
QString entryAddedLine(int entry);                  // "entry 7: added"
QString entryRemovedLine(int entry);                // "entry 7: removed"
QString sectionAddedLine(int entry, int section);   // "entry 3, Kanji: added"
QString sectionRemovedLine(int entry, int section); // "entry 3, Kanji: removed"
QString lineCountChangedLine(int entry, int section, int before,
                             int after); // "entry 3, Hiragana: line count differs: 38, now 40"
QString bytesDifferLine(int entry);      // "entry 7: bytes differ"
// narctext diff --stat: a line per entry that differs, then the total.
QString entryLinesChangedLine(int entry, qint64 changed, qint64 lines); // "entry 12: 35 of 40 lines changed"
QString entryAddedStatLine(int entry, qint64 lines);                    // "entry 7: added, 12 lines"
QString diffTotalLine(qint64 changed, qint64 lines, int entries); // "1,204 of 3,610 lines changed, 33%, in 12 entries"
// A dry run's last line, when something would have been written: "Dry run; PATH not written".
QString dryRunLine(const QString &path);
// The window's reference: the status bar's total, an entry's count in the entry
// list, and what the reference pane says when it has no such section.
QString translatedStatusText(qint64 changed, qint64 lines); // "translated 1,204 of 3,610 lines, 33%"
QString entryProgressText(qint64 changed, qint64 lines);    // "35/40"
QString referenceLacksEntryText(int entry);                 // "The reference has no entry 12."
QString referenceLacksSectionText(int entry, int section);  // "Entry 12 of the reference has no Kanji."
QString referenceCannotDecodeText(int entry, int section,
                                  const QString &reason); // "The reference's entry 12, Kanji cannot be decoded: REASON"
QString referenceLoadedLine(const QString &path);         // "Opened reference PATH"
QString referenceLoadFailedLine(const QString &path, const QString &reason); // "Failed to open reference PATH: REASON"
QString referenceClosedLine(const QString &path);                            // "Closed reference PATH"

// narctext.
QString usageLine(const QString &message);             // "narctext: MESSAGE"
QString stdoutFailedLine(const QString &reason);       // "Failed to write to standard output: REASON"
QString notAnIndexReason(const QString &argument);     // "entry ARG is not a valid index"
QString notASectionReason(const QString &argument);    // "section ARG is not a number"
QString noSuchEntryReason(int entry, qsizetype count); // "entry E is out of range (the archive has N entries)"
QString entryLacksSectionReason(int entry, int section, int count); // "entry E has no section S (it has N)"

// Lines of ROM images

// "Warning: the DSi digests of IMAGE are not recomputed, so DSi mode on real hardware will
// refuse it": after a file was put back into a DSi image.
QString romDsiDigestsLine(const QString &imagePath);

// "Moved game.nds:data/msg.narc to the end of its image (at 0x2e00): it no longer fits its old
// room; the image is now 20,648 bytes": after an archive written back outgrew its room.
QString romMovedLine(const QString &archiveName, quint32 offset, qint64 imageSize);

// "it is a ROM image; name an archive inside it as IMAGE:PATH or IMAGE:#ID": an
// image named where an archive was wanted.
QString romImageNotArchiveReason(const QString &imagePath);

// One line of narctext rom-list: the archive's name inside the image (its path,
// or "#ID" when no directory names it), file id, size in bytes, entry count and
// "messages" when every entry is a message file, "other" when not:
// "data/msg.narc\t12\t4096\t25\tmessages". A file that starts as an archive does
// but does not read as one gets "not a well-formed archive: REASON" in place of
// its count and mark.
QString romArchiveLine(const QString &name, int id, qint64 size, int entries, bool messages);
QString romArchiveProblemLine(const QString &name, int id, qint64 size, const QString &reason);

// "the image holds no archive": a ROM image opened in the window without one.
QString romHoldsNoArchiveReason();

// How the window lists an archive of an image to choose: "data/msg.narc (25
// entries, messages)", "data/other.narc (3 entries)".
QString romArchiveChoiceText(const QString &name, int entries, bool messages);

// Lines of the archive document and the tree

// "Nothing changed; <path> not written": a command that writes an archive found
// no entry changed.
QString nothingChangedLine(const QString &path);

// "<path> has 2 other names; they keep the old content" (one: "1 other name; it
// keeps"): the file a write replaced had hard links, which still name the old file.
QString otherNamesLine(const QString &path, qint64 otherNames);

// "Failed to export to directory <root>: <reason>", "Failed to import from
// directory <root>: <reason>": a tree refused as a whole; nothing was written or read.
QString treeExportRefusedLine(const QString &root, const QString &reason);
QString treeImportRefusedLine(const QString &root, const QString &reason);

// "3 files in <root> differ from the archive and would be replaced": what an
// export over an edited tree would destroy (one: "1 file ... differs").
QString editedTreeLine(int count, const QString &root);

// The reason an export refuses an edited tree: "3 files differ from the archive
// and would be replaced, the first <path>".
QString editedTreeReason(int count, const QString &firstPath);

// "Skipping SSSS/EEEE: the archive has no entry E": a tree file for an entry the
// archive does not have.
QString noSuchEntryLine(int entry, int section);

} // namespace core
