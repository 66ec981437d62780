#include "po/poimport.h"

#include "codec/compose.h"
#include "codec/decode.h"
#include "po/gettextpo.h"
#include "po/pocontext.h"
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
    MemoryReserve() : block(std::malloc(size))
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

// A translated message that names a line.
struct Translation
{
    MessagePlace place;
    QString context; // as the file writes it, to name the message in reports
    QString msgid;
    QString msgstr;
    QString problem; // set when the message cannot be applied whatever the archive holds
};

// What the file holds, converted, before anything is compared with the archive.
struct Gathered
{
    QList<Translation> translations; // sorted into archive order
    QStringList unplaced;            // report lines for messages that name no place at all, in file order
    int untranslated = 0;
    int fuzzy = 0;
    QString reason; // why the file is refused
};

bool hasTranslation(po_message_t message)
{
    if (!po_message_msgid_plural(message)) {
        const char *msgstr = po_message_msgstr(message);
        return msgstr && *msgstr;
    }
    for (int i = 0;; ++i) {
        const char *form = po_message_msgstr_plural(message, i);
        if (!form)
            return false;
        if (*form)
            return true;
    }
}

// Looks at one message of the domain `decoder` converts.
void gatherMessage(po_message_t message, bool heldNul, TextDecoder &decoder, Gathered &gathered)
{
    const char *rawContext = po_message_msgctxt(message);
    const char *rawMsgid = po_message_msgid(message);
    if (po_message_is_obsolete(message) || (!rawContext && !*rawMsgid))
        return; // a leftover of earlier templates, or the header
    if (po_message_is_fuzzy(message)) {
        ++gathered.fuzzy;
        return;
    }
    if (!hasTranslation(message)) {
        ++gathered.untranslated;
        return;
    }

    const Result<QString> msgid = decoder.decode(rawMsgid);
    if (!rawContext) {
        gathered.unplaced.append(poNoContextLine(msgid ? msgid.value : QString::fromLatin1(rawMsgid)));
        return;
    }
    const Result<QString> context = decoder.decode(rawContext);
    const QString shownContext = context ? context.value : QString::fromLatin1(rawContext);
    const Result<MessagePlace> place = context ? parsePoContext(context.value) : Result<MessagePlace>::failure(context.reason);
    if (!place) {
        gathered.unplaced.append(poBadContextLine(shownContext, place.reason));
        return;
    }

    Translation translation;
    translation.place = place.value;
    translation.context = shownContext;
    if (po_message_msgid_plural(message)) {
        translation.problem = QStringLiteral("it has plural forms");
    } else if (heldNul) {
        translation.problem = QStringLiteral("it holds the character U+0000, which no text of the archive can");
    } else {
        const Result<QString> msgstr = decoder.decode(po_message_msgstr(message));
        if (!msgid || !msgstr) {
            translation.problem = msgid ? msgstr.reason : msgid.reason;
        } else {
            translation.msgid = msgid.value;
            translation.msgstr = msgstr.value;
            if (msgstr.value.contains(QLatin1Char('\n')) || msgstr.value.contains(QLatin1Char('\r')))
                translation.problem = QStringLiteral("the translation holds a line break");
        }
    }
    gathered.translations.append(std::move(translation));
}

Gathered gather(const PoRead &read)
{
    Gathered gathered;
    const char *decoderDomain = nullptr;
    std::unique_ptr<TextDecoder> decoder;
    forEachMessage(read.file.get(), [&](const char *domain, po_message_t message, qsizetype index) {
        if (!gathered.reason.isEmpty())
            return;
        if (domain != decoderDomain) {
            decoderDomain = domain;
            decoder = std::make_unique<TextDecoder>(declaredCharset(po_file_domain_header(read.file.get(), domain)));
            if (!decoder->isValid()) {
                gathered.reason = QStringLiteral("the character set \"%1\" its header declares is not known")
                                      .arg(QString::fromLatin1(decoder->charset()));
                return;
            }
        }
        gatherMessage(message, read.heldNul.value(index, false), *decoder, gathered);
    });
    std::stable_sort(gathered.translations.begin(), gathered.translations.end(),
                     [](const Translation &a, const Translation &b) { return a.place < b.place; });
    return gathered;
}

// Applies the translations [begin, end), all of one entry and section, and
// reports on them.
void applySection(Narc &narc, QList<Translation>::const_iterator begin, QList<Translation>::const_iterator end,
                  BulkObserver &observer, PoImportSummary &summary)
{
    const int entryIndex = begin->place.entry;
    const int section = begin->place.section;
    const auto skip = [&](const Translation &translation, const QString &reason) {
        observer.report(poMessageSkippedLine(translation.context, translation.place, reason));
        ++summary.skipped;
    };

    if (entryIndex >= narc.files.size()) {
        for (auto it = begin; it != end; ++it)
            skip(*it, QStringLiteral("the archive has no entry %1").arg(entryIndex));
        return;
    }
    const NarcEntry &entry = narc.files.at(entryIndex);
    const DecodedSection decoded = decodeMessageSection(entry, section);
    if (!decoded.ok()) {
        for (auto it = begin; it != end; ++it)
            skip(*it, sectionCannotBeDecodedReason(decoded.reason));
        return;
    }
    if (!decoded.present) {
        for (auto it = begin; it != end; ++it)
            skip(*it, QStringLiteral("entry %1 has no section %2").arg(entryIndex).arg(section));
        return;
    }

    QStringList lines = decoded.lines;
    int accepted = 0;
    bool differs = false;
    int previousLine = -1;
    for (auto it = begin; it != end; ++it) {
        const int line = it->place.line;
        if (line < 1 || line > lines.size()) {
            skip(*it, QStringLiteral("section %1 of entry %2 has no line %3").arg(section).arg(entryIndex).arg(line));
        } else if (line == previousLine) {
            skip(*it, QStringLiteral("an earlier message translates the same line"));
        } else if (!it->problem.isEmpty()) {
            skip(*it, it->problem);
        } else if (it->msgid != decoded.lines.at(line - 1) && it->msgstr != decoded.lines.at(line - 1)) {
            // A line that already reads as the translation (the file was imported
            // before) is not stale: nothing is left to do for it.
            skip(*it, QStringLiteral("the msgid no longer matches the line (its source changed since the export)"));
        } else {
            differs = differs || lines.at(line - 1) != it->msgstr;
            lines[line - 1] = it->msgstr;
            ++accepted;
        }
        previousLine = line;
    }
    if (!differs) {
        summary.applied += accepted; // every translation equals the line it replaces
        return;
    }

    ComposeResult result = composeEntry(entry, lines.join(QLatin1Char('\n')), section);
    if (result.changed()) {
        narc.files[entryIndex] = std::move(result.entry);
        ++summary.sectionsChanged;
        summary.applied += accepted;
    } else {
        observer.report(composeRefusedLine(entryIndex, section, result.reason));
        ++summary.sectionsSkipped;
        summary.skipped += accepted;
    }
}

// The import proper; may run out of memory at any point.
PoImportSummary importFile(Narc &narc, const QString &path, BulkObserver &observer)
{
    PoImportSummary summary;
    const QString name = inputName(path);
    Gathered gathered;
    {
        const PoRead read = readPoFile(path);
        if (read.outOfMemory)
            throw std::bad_alloc(); // reported as any other allocation that failed
        if (!read.ok()) {
            observer.report(poImportFailedLine(name, read.reason));
            for (const QString &message : read.messages)
                observer.report(message);
            return summary;
        }
        gathered = gather(read);
    } // the library's copy of the file is freed here, before the archive changes
    if (!gathered.reason.isEmpty()) {
        observer.report(poImportFailedLine(name, gathered.reason));
        return summary;
    }
    summary.refused = false;
    summary.untranslated = gathered.untranslated;
    summary.fuzzy = gathered.fuzzy;

    for (const QString &line : std::as_const(gathered.unplaced)) {
        observer.report(line);
        ++summary.skipped;
    }
    const int count = int(narc.files.size());
    const QList<Translation> &translations = gathered.translations;
    for (auto begin = translations.cbegin(); begin != translations.cend();) {
        auto end = begin;
        while (end != translations.cend() && end->place.entry == begin->place.entry
               && end->place.section == begin->place.section)
            ++end;
        if (begin->place.entry < count)
            observer.progress(begin->place.entry);
        applySection(narc, begin, end, observer, summary);
        begin = end;
    }
    return summary;
}

} // namespace

PoImportSummary importFromPo(Narc &narc, const QString &path, BulkObserver &observer)
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
        summary = importFile(narc, path, observer);
    } catch (const std::bad_alloc &) {
        reserve.release();
        narc.files = before;
        observer.report(poImportFailedLine(name, notEnoughMemoryReason()));
        return PoImportSummary();
    }
    if (summary.refused)
        return summary;
    observer.status(importFinishedStatus());
    observer.note(poImportFinishedLine(name, summary.applied, summary.skipped, summary.untranslated, summary.fuzzy));
    return summary;
}

} // namespace core
