#include "po/poimport.h"

#include "check/escapes.h"
#include "codec/compose.h"
#include "codec/decode.h"
#include "codec/encode.h"
#include "codec/escape.h"
#include "po/potranslations.h"
#include "report/lines.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

namespace core {

using namespace po;

namespace {

// Memory set aside while a file is imported (address space only, never
// touched), so that a failure to get memory can still be reported once it is
// given back.
class MemoryReserve
{
public:
    MemoryReserve()
        : block(std::malloc(size))
    {
        asm volatile("" : : "g"(block) : "memory"); // kept, though nothing reads it
    }
    ~MemoryReserve() { release(); }
    MemoryReserve(const MemoryReserve &) = delete;
    MemoryReserve &operator=(const MemoryReserve &) = delete;
    void release()
    {
        std::free(block);
        block = nullptr;
    }

private:
    static constexpr size_t size = size_t(8) << 20;
    void *block;
};

// Whether `text` (a msgid or msgstr) stores as what `line` shows: the same text,
// or units written as escapes that show as themselves ("\x002c" for ",").
bool readsAs(const QString &text, const QString &line)
{
    return text == line || (!storableLine(text).refused() && shownLineText(text) == line);
}

// What becomes of one translation of a section.
struct Verdict
{
    const PoTranslation *translation;
    QString context; // as the file writes it
    QString skipped; // why it is left out; empty when it is applied
    QString warning; // a second look it deserves, when applied
};

// Applies the translations [begin, end), all of one entry and section, and
// reports on them.
void applySection(Narc &narc, QList<PoTranslation>::const_iterator begin, QList<PoTranslation>::const_iterator end,
                  const PoImportOptions &options, BulkObserver &observer, PoImportSummary &summary)
{
    const int entryIndex = begin->place.entry;
    const int section = begin->place.section;
    const auto skipAll = [&](const QString &reason) {
        for (auto it = begin; it != end; ++it) {
            observer.report(poMessageSkippedLine(translationText(*it).context, it->place, reason));
            ++summary.skipped;
        }
    };

    if (entryIndex >= narc.files.size())
        return skipAll(QStringLiteral("the archive has no entry %1").arg(entryIndex));
    const NarcEntry &entry = narc.files.at(entryIndex);
    const DecodedSection decoded = decodeMessageSection(entry, section);
    if (!decoded.ok())
        return skipAll(sectionCannotBeDecodedReason(decoded.reason));
    if (!decoded.present)
        return skipAll(QStringLiteral("entry %1 has no section %2").arg(entryIndex).arg(section));

    // Every message on its own: one that cannot be stored is left out, the rest
    // of the section goes in.
    QList<Verdict> verdicts;
    QStringList lines = decoded.lines;
    for (auto it = begin; it != end; ++it) {
        const PoTranslationText text = translationText(*it);
        Verdict verdict{&*it, text.context, QString(), QString()};
        const int line = it->place.line;
        if (line < 1 || line > lines.size()) {
            verdict.skipped =
                QStringLiteral("section %1 of entry %2 has no line %3").arg(section).arg(entryIndex).arg(line);
        } else if (!text.problem.isEmpty()) {
            verdict.skipped = text.problem;
        } else if (!readsAs(text.msgid, decoded.lines.at(line - 1))
                   && !readsAs(text.msgstr, decoded.lines.at(line - 1))) {
            // A line that already reads as the translation (the file was imported
            // before) is not stale: nothing is left to do for it.
            verdict.skipped = QStringLiteral(
                "the msgid no longer matches the line (its source changed since the export)");
        } else if (const TextRefusal refusal = storableLine(text.msgstr); refusal.refused()) {
            verdict.skipped = translationRefusedReason(refusal);
        } else {
            const EscapeChange change = compareEscapes(text.msgid, text.msgstr, options.breaks);
            if (change.changed()) {
                ++summary.escapesChanged;
                (options.strict ? verdict.skipped : verdict.warning) = change.text(EscapeOrigin::Source);
            }
            if (verdict.skipped.isEmpty())
                lines[line - 1] = text.msgstr;
        }
        verdicts.append(std::move(verdict));
    }

    // Composed once with every message that can go in. A refusal that names a
    // translated line (the padding unit can make the section's last line one unit
    // too long) leaves that message out too, and the rest is composed again.
    bool refused = false;
    if (lines != decoded.lines) {
        for (;;) {
            ComposeResult result = composeEntry(entry, lines.join(QLatin1Char('\n')), section);
            if (result.changed()) {
                if (result.entry != entry) {
                    narc.files[entryIndex] = std::move(result.entry);
                    ++summary.sectionsChanged;
                }
                break;
            }
            const int line = result.reason.line;
            const auto named = std::find_if(verdicts.begin(), verdicts.end(), [&](const Verdict &verdict) {
                return verdict.skipped.isEmpty() && verdict.translation->place.line == line;
            });
            if (line < 1 || named == verdicts.end() || lines.at(line - 1) == decoded.lines.at(line - 1)) {
                observer.report(composeRefusedLine(entryIndex, section, result.reason));
                ++summary.sectionsSkipped;
                refused = true;
                break;
            }
            named->skipped = translationRefusedReason(result.reason);
            named->warning.clear();
            lines[line - 1] = decoded.lines.at(line - 1);
        }
    }
    for (const Verdict &verdict : std::as_const(verdicts)) {
        const PoTranslation &translation = *verdict.translation;
        if (!verdict.skipped.isEmpty()) {
            observer.report(poMessageSkippedLine(verdict.context, translation.place, verdict.skipped));
            ++summary.skipped;
        } else if (refused) {
            ++summary.skipped; // the section's refusal above names it
        } else {
            if (!verdict.warning.isEmpty())
                observer.report(poMessageWarningLine(verdict.context, translation.place, verdict.warning));
            ++summary.applied;
        }
    }
}

// The import proper; may run out of memory at any point.
PoImportSummary importFile(Narc &narc, const QString &path, const PoImportOptions &options, BulkObserver &observer)
{
    PoImportSummary summary;
    const QString name = inputName(path);
    // The translations point into the library's copy of the file, which is gone
    // once they are applied, as this returns.
    const PoTranslations gathered = readPoTranslations(path);
    if (!gathered.ok()) {
        observer.report(poImportFailedLine(name, gathered.reason));
        for (const QString &message : gathered.messages)
            observer.report(message);
        return summary;
    }
    summary.refused = false;
    summary.untranslated = gathered.untranslated;
    summary.fuzzy = gathered.fuzzy;

    for (const UnplacedMessage &message : gathered.unplaced) {
        observer.report(message.hasContext ? poBadContextLine(message.text, message.reason)
                                           : poNoContextLine(message.text));
        ++summary.skipped;
    }
    const int count = int(narc.files.size());
    const QList<PoTranslation> &translations = gathered.translations;
    for (auto begin = translations.cbegin(); begin != translations.cend();) {
        auto end = begin;
        while (end != translations.cend() && end->place.entry == begin->place.entry
               && end->place.section == begin->place.section)
            ++end;
        if (begin->place.entry < count)
            observer.progress(begin->place.entry);
        applySection(narc, begin, end, options, observer, summary);
        begin = end;
    }
    return summary;
}

} // namespace

PoImportSummary importFromPo(Narc &narc, const QString &path, BulkObserver &observer, const PoImportOptions &options)
{
    const QString name = inputName(path);
    observer.begin(int(narc.files.size()));
    observer.status(importingStatus());
    observer.note(importingPoLine(name));

    // The entries are shared, not copied: putting them back undoes every change.
    const QList<NarcEntry> before = narc.files;
    MemoryReserve reserve;
    PoImportSummary summary;
    try {
        summary = importFile(narc, path, options, observer);
    } catch (const std::bad_alloc &) {
        reserve.release();
        narc.files = before;
        observer.report(poImportFailedLine(name, notEnoughMemoryReason()));
        return PoImportSummary();
    }
    if (summary.refused)
        return summary;
    observer.status(importFinishedStatus());
    observer.note(poImportFinishedLine(name, summary.applied, summary.skipped, summary.untranslated, summary.fuzzy,
                                       summary.escapesChanged));
    return summary;
}

} // namespace core
