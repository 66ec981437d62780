#include "report/lines.h"

namespace core {

namespace {

// "SSSS/EEEE": the tree file of a section, section first.
QString treePlace(int entry, int section)
{
    return pad4(section) + QLatin1Char('/') + pad4(entry);
}

QString skipping(int entry, int section)
{
    return QStringLiteral("Skipping ") + treePlace(entry, section);
}

// A short, one-line quotation of `text`.
QString quoted(const QString &text)
{
    constexpr int longest = 40;
    QString shown = text.size() > longest ? text.left(longest) + QStringLiteral("...") : text;
    shown.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    shown.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

// "1 match", "3 matches".
QString counted(qint64 number, const char *one, const char *many)
{
    return QString::number(number) + QLatin1Char(' ') + QLatin1String(number == 1 ? one : many);
}

QString insideEscapesPhrase(qint64 count)
{
    return count == 1 ? QStringLiteral("1 match inside an escape left alone")
                      : QString::number(count) + QStringLiteral(" matches inside escapes left alone");
}

QString withInsideEscapes(const QString &text, qint64 count)
{
    return count > 0 ? text + QStringLiteral("; ") + insideEscapesPhrase(count) : text;
}

QString withUnreadable(const QString &text, int unreadable)
{
    if (unreadable <= 0)
        return text;
    return text + QStringLiteral(" (") + counted(unreadable, "section", "sections")
           + QStringLiteral(" could not be decoded)");
}

} // namespace

QString withReason(const QString &line, const QString &reason)
{
    return reason.isEmpty() ? line : line + QStringLiteral(": ") + reason;
}

QString inputName(const QString &path)
{
    return path == QLatin1String("-") ? QStringLiteral("standard input") : path;
}

QString outputName(const QString &path)
{
    return path == QLatin1String("-") ? QStringLiteral("standard output") : path;
}

QString notEnoughMemoryReason()
{
    return QStringLiteral("not enough memory");
}

QString loadedLine(const QString &path)
{
    return QStringLiteral("Loaded ") + path;
}

QString loadFailedLine(const QString &path, const QString &reason)
{
    return withReason(QStringLiteral("Failed to load ") + path, reason);
}

QString writtenLine(const QString &path)
{
    return QStringLiteral("Finished writing ") + path;
}

QString writeFailedLine(const QString &path, const QString &reason)
{
    return withReason(QStringLiteral("Failed to write ") + path, reason);
}

QString noArchiveOpenLine()
{
    return QStringLiteral("No archive is open; nothing written");
}

QString archiveBeingEditedReason()
{
    return QStringLiteral("it is the archive being edited");
}

QString exportingStatus()
{
    return QStringLiteral("Exporting: ");
}

QString importingStatus()
{
    return QStringLiteral("Importing: ");
}

QString exportFinishedStatus()
{
    return QStringLiteral("Finished Exporting!");
}

QString importFinishedStatus()
{
    return QStringLiteral("Finished Importing!");
}

QString comparingStatus()
{
    return QStringLiteral("Comparing: ");
}

QString cannotDecodeEntryLine(int entry, const QString &reason)
{
    return withReason(QStringLiteral("Cannot decode entry ") + QString::number(entry), reason);
}

QString cannotDecodeLine(int entry, int section, const QString &reason)
{
    return withReason(QStringLiteral("Cannot decode section ") + QString::number(section) + QStringLiteral(" of entry ")
                          + QString::number(entry),
                      reason);
}

QString sectionCannotBeDecodedReason(const QString &reason)
{
    return withReason(QStringLiteral("the section cannot be decoded"), reason);
}

namespace {

// What is wrong with a line that cannot be stored, after its name ("line 2 ",
// "the translation "): "has a backslash that starts no escape: "\x05c"", "is too
// long (70000 units, at most 65535)". Empty for other refusals.
QString lineProblem(const TextRefusal &reason)
{
    switch (reason.kind) {
    case TextRefusal::Kind::BadEscape:
        return withReason(QStringLiteral("has a backslash that starts no escape"), reason.detail);
    case TextRefusal::Kind::LineTooLong:
        return QStringLiteral("is too long (%1 units, at most %2)").arg(reason.count).arg(reason.limit);
    default:
        return QString();
    }
}

QString escapesText(const QList<quint16> &units)
{
    QString text;
    for (const quint16 unit : units) {
        if (!text.isEmpty())
            text += QLatin1Char(' ');
        text += QStringLiteral("\\x") + QString::number(unit, 16).rightJustified(4, QLatin1Char('0'));
    }
    return text;
}

QString escapesDifferFrom(EscapeOrigin origin)
{
    return origin == EscapeOrigin::Source ? QStringLiteral("escapes differ from the source")
                                          : QStringLiteral("escapes differ from the reference");
}

} // namespace

QString composeRefusedLine(int entry, int section, const TextRefusal &reason)
{
    using Kind = TextRefusal::Kind;
    const QString line = QStringLiteral("line ") + QString::number(reason.line);
    switch (reason.kind) {
    case Kind::None:
        return QString();
    case Kind::NoSuchSection:
        return noSuchSectionLine(entry, section);
    case Kind::TooFewLines:
        return skipping(entry, section) + QStringLiteral(" due to too few lines");
    case Kind::TooManyLines:
        return skipping(entry, section)
               + QStringLiteral(" due to too many lines (%1 of %2)").arg(reason.count).arg(reason.limit);
    case Kind::BadEscape:
    case Kind::LineTooLong:
        return withReason(skipping(entry, section), line + QLatin1Char(' ') + lineProblem(reason));
    case Kind::TooLarge:
        return withReason(skipping(entry, section),
                          QStringLiteral("the message file could grow too large (up to %1 bytes)").arg(reason.count));
    case Kind::Unreadable:
        return withReason(skipping(entry, section),
                          withReason(QStringLiteral("the message file cannot be read"), reason.detail));
    }
    return QString();
}

QString noSuchSectionLine(int entry, int section)
{
    return withReason(skipping(entry, section), QStringLiteral("the entry has no section ") + QString::number(section));
}

QString exportingToDirectoryLine(const QString &root)
{
    return QStringLiteral("Exporting to directory ") + root;
}

QString importingFromDirectoryLine(const QString &root)
{
    return QStringLiteral("Importing from directory ") + root;
}

QString importFinishedFromDirectoryLine(const QString &root)
{
    return QStringLiteral("Finished importing from directory ") + root;
}

QString exportTreeMissingLine(const QString &root)
{
    return QStringLiteral("Failed to export. Either 0000 or 0001 does not exist in ") + root;
}

QString importTreeMissingLine(const QString &root)
{
    return QStringLiteral("Failed to import. Either 0000 or 0001 does not exist in ") + root;
}

QString createDirectoryFailedLine(const QString &dir, const QString &reason)
{
    return withReason(QStringLiteral("Failed to create the directory ") + dir, reason);
}

QString exportFailedLine(const QString &path, const QString &reason)
{
    return withReason(QStringLiteral("Failed to export to file ") + path, reason);
}

QString importFailedLine(const QString &path, const QString &reason)
{
    return withReason(QStringLiteral("Failed to import from file: ") + path, reason);
}

QString exportOverArchiveLine(const QString &path)
{
    return exportFailedLine(path, archiveBeingEditedReason());
}

QString exportingToFileLine(const QString &path)
{
    return QStringLiteral("Exporting to file ") + path;
}

QString nothingReplacedLine(const QString &reason)
{
    return withReason(QStringLiteral("Nothing replaced"), reason);
}

QString replacedLine(qint64 occurrences, int sections, qint64 insideEscapes)
{
    return withInsideEscapes(QStringLiteral("Replaced %1 occurrences in %2 sections").arg(occurrences).arg(sections),
                             insideEscapes);
}

QString insideEscapesLine(qint64 insideEscapes)
{
    return insideEscapesPhrase(insideEscapes);
}

QString findStatusText(qint64 total, qint64 listed, int unreadable, qint64 insideEscapes)
{
    QString text = total == 0 ? QStringLiteral("No matches") : counted(total, "match", "matches");
    if (total > listed)
        text += QStringLiteral("; the first %1 are listed").arg(listed);
    return withInsideEscapes(withUnreadable(text, unreadable), insideEscapes);
}

QString countStatusText(qint64 matches, int sections, int unreadable, qint64 insideEscapes)
{
    const QString text = matches == 0 ? QStringLiteral("No matches")
                                      : counted(matches, "match", "matches") + QStringLiteral(" in ")
                                            + counted(sections, "section", "sections");
    return withInsideEscapes(withUnreadable(text, unreadable), insideEscapes);
}

QString exportingToPoLine(const QString &path)
{
    return QStringLiteral("Exporting to PO template ") + path;
}

QString poExportFailedLine(const QString &path, const QString &reason)
{
    return withReason(QStringLiteral("Failed to export to PO template ") + path, reason);
}

QString poExportFinishedLine(qint64 messages, const QString &path)
{
    return QStringLiteral("Finished exporting %1 messages to PO template ").arg(messages) + path;
}

QString importingPoLine(const QString &path)
{
    return QStringLiteral("Importing translations from ") + path;
}

QString poImportFailedLine(const QString &path, const QString &reason)
{
    return withReason(QStringLiteral("Failed to import translations from ") + path, reason);
}

QString poImportFinishedLine(const QString &path, int applied, int skipped, int untranslated, int fuzzy,
                             int escapesChanged)
{
    QString line = QStringLiteral("Finished importing translations from ") + path
                   + QStringLiteral(": %1 applied, %2 skipped, %3 untranslated, %4 fuzzy")
                         .arg(applied)
                         .arg(skipped)
                         .arg(untranslated)
                         .arg(fuzzy);
    if (escapesChanged > 0)
        line += QStringLiteral(", %1 with changed escapes").arg(escapesChanged);
    return line;
}

QString poMessageSkippedLine(const QString &context, const MessagePlace &place, const QString &reason)
{
    return withReason(QStringLiteral("Skipping ") + messagePlaceText(context, place), reason);
}

QString poMessageWarningLine(const QString &context, const MessagePlace &place, const QString &reason)
{
    return withReason(QStringLiteral("Check ") + messagePlaceText(context, place), reason);
}

QString translationRefusedReason(const TextRefusal &reason)
{
    return QStringLiteral("the translation ") + lineProblem(reason);
}

QString poNoContextLine(const QString &msgid)
{
    return withReason(QStringLiteral("Skipping ") + poMsgidPlaceText(msgid), noMsgctxtReason());
}

QString noMsgctxtReason()
{
    return QStringLiteral("it has no msgctxt naming its line");
}

QString poCheckFailedLine(const QString &path, const QString &reason)
{
    return withReason(QStringLiteral("Failed to check translations in ") + path, reason);
}

QString poBadContextLine(const QString &context, const QString &reason)
{
    return withReason(QStringLiteral("Skipping ") + poMsgctxtPlaceText(context), reason);
}

QString moreReportsLine(int count)
{
    return QStringLiteral("(%1 more reports not shown)").arg(count);
}

QString findingLine(const QString &place, const QString &what)
{
    return place + QStringLiteral(": ") + what;
}

QString messagePlaceText(const QString &context, const MessagePlace &place)
{
    return context + QStringLiteral(" (") + placeInWords(place) + QLatin1Char(')');
}

QString messagePlaceText(const MessagePlace &place)
{
    return messagePlaceText(pad4(place.entry) + QLatin1Char('/') + pad4(place.section) + QLatin1Char('/')
                                + pad4(place.line),
                            place);
}

QString sectionPlaceText(int entry, int section)
{
    return pad4(entry) + QLatin1Char('/') + pad4(section) + QStringLiteral(" (") + placeInWords(entry, section)
           + QLatin1Char(')');
}

QString entryPlaceText(int entry)
{
    return pad4(entry) + QStringLiteral(" (entry ") + QString::number(entry) + QLatin1Char(')');
}

QString poMsgctxtPlaceText(const QString &context)
{
    return QStringLiteral("msgctxt ") + quoted(context);
}

QString poMsgidPlaceText(const QString &msgid)
{
    return QStringLiteral("msgid ") + quoted(msgid);
}

QString tooWideText(int width, int limit, int row, int rows)
{
    QString text = QStringLiteral("too wide: %1 of %2").arg(width).arg(limit);
    if (rows > 1)
        text += QStringLiteral(" (row %1 of %2)").arg(row).arg(rows);
    return text;
}

QString escapesDifferText(EscapeOrigin origin, const QList<quint16> &missing, const QList<quint16> &added)
{
    QStringList parts;
    if (!missing.isEmpty())
        parts.append(QStringLiteral("missing ") + escapesText(missing));
    if (!added.isEmpty())
        parts.append(QStringLiteral("added ") + escapesText(added));
    return withReason(escapesDifferFrom(origin), parts.join(QStringLiteral("; ")));
}

QString escapesReorderedText(EscapeOrigin origin, const QList<quint16> &order, const QList<quint16> &originOrder)
{
    const QString other = origin == EscapeOrigin::Source ? QStringLiteral("the source")
                                                         : QStringLiteral("the reference");
    return withReason(escapesDifferFrom(origin), QStringLiteral("in another order: ") + escapesText(order)
                                                     + QStringLiteral(", ") + other + QStringLiteral(" has ")
                                                     + escapesText(originOrder));
}

QString escapeListText(const QList<quint16> &units)
{
    return escapesText(units);
}

QString lineCountDiffersText(int lines, int referenceLines)
{
    return QStringLiteral("line count differs: %1, the reference has %2").arg(lines).arg(referenceLines);
}

QString sectionCountDiffersText(int sections, int referenceSections)
{
    return QStringLiteral("section count differs: %1, the reference has %2").arg(sections).arg(referenceSections);
}

QString notInReferenceText()
{
    return QStringLiteral("not in the reference");
}

QString onlyInReferenceText()
{
    return QStringLiteral("missing: only the reference has it");
}

QString cannotBeDecodedText(const QString &reason)
{
    return withReason(QStringLiteral("cannot be decoded"), reason);
}

QString referenceCannotBeDecodedText(const QString &reason)
{
    return withReason(QStringLiteral("the reference cannot be decoded"), reason);
}

namespace {

QString checkedLine(qint64 count, const char *one, const char *many, qint64 findings)
{
    return QStringLiteral("Checked ") + counted(count, one, many) + QStringLiteral(": ")
           + (findings == 0 ? QStringLiteral("no findings") : counted(findings, "finding", "findings"));
}

} // namespace

QString checkedLinesLine(qint64 lines, qint64 findings)
{
    return checkedLine(lines, "line", "lines", findings);
}

QString checkedTranslationsLine(qint64 translations, qint64 findings)
{
    return checkedLine(translations, "translation", "translations", findings);
}

QString lineWidthStatusText(int line, int row, int rows, int width, int limit)
{
    QString text = QStringLiteral("line ") + QString::number(line);
    if (rows > 1)
        text += QStringLiteral(", row ") + QString::number(row);
    return text + QStringLiteral(": %1 of %2").arg(width).arg(limit);
}

QString notAnEscapeReason(const QString &text)
{
    return QLatin1Char('"') + text + QStringLiteral("\" is not an escape such as \\x000a");
}

namespace {

// "1,204": thousands set off by commas, whatever the locale, as every count here.
QString grouped(qint64 number)
{
    QString digits = QString::number(qAbs(number));
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, QLatin1Char(','));
    return number < 0 ? QLatin1Char('-') + digits : digits;
}

// "1,204 of 3,610 lines".
QString linesOf(qint64 part, qint64 lines)
{
    return grouped(part) + QStringLiteral(" of ") + grouped(lines)
           + (lines == 1 ? QStringLiteral(" line") : QStringLiteral(" lines"));
}

// ", 33%", rounded down so that 100% means every line; nothing when there are no lines.
QString percentOf(qint64 part, qint64 lines)
{
    return lines > 0 ? QStringLiteral(", ") + QString::number(part * 100 / lines) + QLatin1Char('%') : QString();
}

QString entryInWords(int entry)
{
    return QStringLiteral("entry ") + QString::number(entry);
}

} // namespace

QString diffHunkHeaderLine(int entry, int section, int firstLine, int lastLine)
{
    const QString lines = firstLine == lastLine ? QStringLiteral("line ") + QString::number(firstLine)
                                                : QStringLiteral("lines %1-%2").arg(firstLine).arg(lastLine);
    return QStringLiteral("@@ ") + placeInWords(entry, section) + QStringLiteral(", ") + lines + QStringLiteral(" @@");
}

QString diffOldLine(const QString &text)
{
    return QLatin1Char('-') + text;
}

QString diffNewLine(const QString &text)
{
    return QLatin1Char('+') + text;
}

QString entryAddedLine(int entry)
{
    return findingLine(entryInWords(entry), QStringLiteral("added"));
}

QString entryRemovedLine(int entry)
{
    return findingLine(entryInWords(entry), QStringLiteral("removed"));
}

QString sectionAddedLine(int entry, int section)
{
    return findingLine(placeInWords(entry, section), QStringLiteral("added"));
}

QString sectionRemovedLine(int entry, int section)
{
    return findingLine(placeInWords(entry, section), QStringLiteral("removed"));
}

QString lineCountChangedLine(int entry, int section, int before, int after)
{
    return findingLine(placeInWords(entry, section),
                       QStringLiteral("line count differs: %1, now %2").arg(before).arg(after));
}

QString bytesDifferLine(int entry)
{
    return findingLine(entryInWords(entry), QStringLiteral("bytes differ"));
}

QString entryLinesChangedLine(int entry, qint64 changed, qint64 lines)
{
    return findingLine(entryInWords(entry), linesOf(changed, lines) + QStringLiteral(" changed"));
}

QString entryAddedStatLine(int entry, qint64 lines)
{
    return findingLine(entryInWords(entry), QStringLiteral("added, ") + grouped(lines)
                                                + (lines == 1 ? QStringLiteral(" line") : QStringLiteral(" lines")));
}

QString diffTotalLine(qint64 changed, qint64 lines, int entries)
{
    return linesOf(changed, lines) + QStringLiteral(" changed") + percentOf(changed, lines) + QStringLiteral(", in ")
           + grouped(entries) + (entries == 1 ? QStringLiteral(" entry") : QStringLiteral(" entries"));
}

QString dryRunLine(const QString &path)
{
    return QStringLiteral("Dry run; ") + outputName(path) + QStringLiteral(" not written");
}

QString translatedStatusText(qint64 changed, qint64 lines)
{
    return QStringLiteral("translated ") + linesOf(changed, lines) + percentOf(changed, lines);
}

QString entryProgressText(qint64 changed, qint64 lines)
{
    return QString::number(changed) + QLatin1Char('/') + QString::number(lines);
}

QString referenceLacksEntryText(int entry)
{
    return QStringLiteral("The reference has no entry %1.").arg(entry);
}

QString referenceLacksSectionText(int entry, int section)
{
    return QStringLiteral("Entry %1 of the reference has no %2.").arg(entry).arg(sectionName(section));
}

QString referenceCannotDecodeText(int entry, int section, const QString &reason)
{
    return withReason(QStringLiteral("The reference's ") + placeInWords(entry, section)
                          + QStringLiteral(" cannot be decoded"),
                      reason);
}

QString referenceLoadedLine(const QString &path)
{
    return QStringLiteral("Opened reference ") + path;
}

QString referenceLoadFailedLine(const QString &path, const QString &reason)
{
    return withReason(QStringLiteral("Failed to open reference ") + path, reason);
}

QString referenceClosedLine(const QString &path)
{
    return QStringLiteral("Closed reference ") + path;
}

QString usageLine(const QString &message)
{
    return QStringLiteral("narctext: ") + message;
}

QString stdoutFailedLine(const QString &reason)
{
    return withReason(QStringLiteral("Failed to write to standard output"), reason);
}

QString notAnIndexReason(const QString &argument)
{
    return QStringLiteral("entry %1 is not a valid index").arg(argument);
}

QString notASectionReason(const QString &argument)
{
    return QStringLiteral("section %1 is not a number").arg(argument);
}

QString noSuchEntryReason(int entry, qsizetype count)
{
    return QStringLiteral("entry %1 is out of range (the archive has %2 entries)").arg(entry).arg(count);
}

QString entryLacksSectionReason(int entry, int section, int count)
{
    return QStringLiteral("entry %1 has no section %2 (it has %3)").arg(entry).arg(section).arg(count);
}

// Lines of ROM images

QString romDsiDigestsLine(const QString &imagePath)
{
    return QStringLiteral("Warning: the DSi digests of ") + imagePath
           + QStringLiteral(" are not recomputed, so DSi mode on real hardware will refuse it");
}

QString romMovedLine(const QString &archiveName, quint32 offset, qint64 imageSize)
{
    return QStringLiteral(
               "Moved %1 to the end of its image (at 0x%2): it no longer fits its old room; the image is "
               "now %3 bytes")
        .arg(archiveName, QString::number(offset, 16), grouped(imageSize));
}

QString romImageNotArchiveReason(const QString &imagePath)
{
    return QStringLiteral("it is a ROM image; name an archive inside it as %1:PATH or %1:#ID").arg(imagePath);
}

QString romArchiveLine(const QString &name, int id, qint64 size, int entries, bool messages)
{
    return QStringLiteral("%1\t%2\t%3\t%4\t%5")
        .arg(name, QString::number(id), QString::number(size), QString::number(entries),
             messages ? QStringLiteral("messages") : QStringLiteral("other"));
}

QString romArchiveProblemLine(const QString &name, int id, qint64 size, const QString &reason)
{
    return QStringLiteral("%1\t%2\t%3\t").arg(name, QString::number(id), QString::number(size))
           + withReason(QStringLiteral("not a well-formed archive"), reason);
}

QString romHoldsNoArchiveReason()
{
    return QStringLiteral("the image holds no archive");
}

QString romArchiveChoiceText(const QString &name, int entries, bool messages)
{
    const QString count = entries == 1 ? QStringLiteral("1 entry") : QStringLiteral("%1 entries").arg(entries);
    return QStringLiteral("%1 (%2%3)").arg(name, count, messages ? QStringLiteral(", messages") : QString());
}

// Lines of the archive document and the tree

QString nothingChangedLine(const QString &path)
{
    return QStringLiteral("Nothing changed; ") + path + QStringLiteral(" not written");
}

QString otherNamesLine(const QString &path, qint64 otherNames)
{
    if (otherNames == 1)
        return path + QStringLiteral(" has 1 other name; it keeps the old content");
    return path + QStringLiteral(" has %1 other names; they keep the old content").arg(otherNames);
}

QString treeExportRefusedLine(const QString &root, const QString &reason)
{
    return withReason(QStringLiteral("Failed to export to directory ") + root, reason);
}

QString treeImportRefusedLine(const QString &root, const QString &reason)
{
    return withReason(QStringLiteral("Failed to import from directory ") + root, reason);
}

QString editedTreeLine(int count, const QString &root)
{
    if (count == 1)
        return QStringLiteral("1 file in ") + root + QStringLiteral(" differs from the archive and would be replaced");
    return QStringLiteral("%1 files in ").arg(count) + root
           + QStringLiteral(" differ from the archive and would be replaced");
}

QString editedTreeReason(int count, const QString &firstPath)
{
    if (count == 1)
        return QStringLiteral("1 file differs from the archive and would be replaced: ") + firstPath;
    return QStringLiteral("%1 files differ from the archive and would be replaced, the first ").arg(count) + firstPath;
}

QString noSuchEntryLine(int entry, int section)
{
    return QStringLiteral("Skipping ") + pad4(section) + QLatin1Char('/') + pad4(entry)
           + QStringLiteral(": the archive has no entry ") + QString::number(entry);
}

} // namespace core
