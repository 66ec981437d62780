#include "po/poimport.h"

#include "po/gettextpo.h"
#include "po/pocontext.h"
#include "codec/compose.h"
#include "codec/decode.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace core {

using namespace po;

namespace {

// A translated message that names a line.
struct Translation
{
    PoPlace place;
    QString context; // as the file writes it, to name the message in reports
    QString msgid;
    QString msgstr;
    QString problem; // set when the message cannot be applied whatever the archive holds
};

// What the file holds, converted, before anything is compared with the archive.
struct Gathered
{
    QList<Translation> translations; // sorted into archive order
    QStringList unplaced;            // reports for messages that name no place at all, in file order
    int untranslated = 0;
    int fuzzy = 0;
    QString error; // the file is refused
};

// A short, one-line quotation of `text` for a report.
QString quoted(const QString &text)
{
    constexpr int longest = 40;
    QString shown = text.size() > longest ? text.left(longest) + QStringLiteral("...") : text;
    shown.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    shown.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

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

bool gatherDomain(po_file_t file, const char *domain, Gathered &gathered)
{
    TextDecoder decoder(declaredCharset(po_file_domain_header(file, domain)));
    if (!decoder.isValid()) {
        gathered.error = QStringLiteral("the character set \"%1\" its header declares is not known")
                             .arg(QString::fromLatin1(decoder.charset()));
        return false;
    }
    const PoIterator iterator(po_message_iterator(file, domain));
    while (po_message_t message = po_next_message(iterator.get())) {
        const char *rawContext = po_message_msgctxt(message);
        const char *rawMsgid = po_message_msgid(message);
        if (po_message_is_obsolete(message) || (!rawContext && !*rawMsgid))
            continue; // a leftover of earlier templates, or the header
        if (po_message_is_fuzzy(message)) {
            ++gathered.fuzzy;
            continue;
        }
        if (!hasTranslation(message)) {
            ++gathered.untranslated;
            continue;
        }

        const std::optional<QString> msgid = decoder.decode(rawMsgid);
        const std::optional<QString> context = rawContext ? decoder.decode(rawContext) : std::nullopt;
        if (!rawContext) {
            gathered.unplaced.append(QStringLiteral("Skipping msgid %1: it has no msgctxt naming its line")
                                         .arg(quoted(msgid.value_or(QString::fromLatin1(rawMsgid)))));
            continue;
        }
        const QString shownContext = context.value_or(QString::fromLatin1(rawContext));
        const std::optional<PoPlace> place = context ? parsePoContext(*context) : std::nullopt;
        if (!place) {
            gathered.unplaced.append(
                QStringLiteral("Skipping msgctxt %1: it names no line (entry/section/line)").arg(quoted(shownContext)));
            continue;
        }

        Translation translation;
        translation.place = *place;
        translation.context = shownContext;
        if (po_message_msgid_plural(message)) {
            translation.problem = QStringLiteral("it has plural forms");
        } else {
            const std::optional<QString> msgstr = decoder.decode(po_message_msgstr(message));
            if (!context || !msgid || !msgstr) {
                translation.problem = QStringLiteral("its text is not valid ") + QString::fromLatin1(decoder.charset());
            } else {
                translation.msgid = *msgid;
                translation.msgstr = *msgstr;
                if (msgstr->contains(QLatin1Char('\n')) || msgstr->contains(QLatin1Char('\r')))
                    translation.problem = QStringLiteral("the translation holds a line break");
            }
        }
        gathered.translations.append(std::move(translation));
    }
    return true;
}

Gathered gather(po_file_t file)
{
    Gathered gathered;
    for (const char *const *domain = po_file_domains(file); domain && *domain; ++domain) {
        if (!gatherDomain(file, *domain, gathered))
            return gathered;
    }
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
        observer.report(QStringLiteral("Skipping ") + translation.context + QStringLiteral(": ") + reason);
        ++summary.skipped;
    };

    if (entryIndex >= narc.files.size()) {
        for (auto it = begin; it != end; ++it)
            skip(*it, QStringLiteral("the archive has no entry %1").arg(entryIndex));
        return;
    }
    const NarcEntry &entry = narc.files.at(entryIndex);
    const DecodedSection decoded = decodeMessageSection(entry, section);
    if (!decoded.error.isEmpty()) {
        for (auto it = begin; it != end; ++it)
            skip(*it, QStringLiteral("the section cannot be decoded (%1)").arg(decoded.error));
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

    ComposeResult result = composeEntry(entry, lines.join(QLatin1Char('\n')), entryIndex, section);
    if (!result.report.isEmpty())
        observer.report(result.report);
    if (result.changed()) {
        narc.files[entryIndex] = std::move(result.entry);
        ++summary.sectionsChanged;
        summary.applied += accepted;
    } else {
        ++summary.sectionsSkipped;
        summary.skipped += accepted;
    }
}

} // namespace

PoImportSummary importFromPo(Narc &narc, const QString &path, BulkObserver &observer)
{
    PoImportSummary summary;
    const int count = int(narc.files.size());
    observer.begin(count);
    observer.status(QStringLiteral("Importing: "));
    observer.report(QStringLiteral("Importing translations from ") + path);
    const QString failure = QStringLiteral("Failed to import translations from ") + path + QStringLiteral(": ");

    Gathered gathered;
    {
        const PoRead read = readPoFile(path);
        if (!read.ok()) {
            observer.report(failure + read.error);
            for (const QString &message : read.messages)
                observer.report(message);
            return summary;
        }
        gathered = gather(read.file.get());
    } // the library's copy of the file is freed here, before the archive changes
    if (!gathered.error.isEmpty()) {
        observer.report(failure + gathered.error);
        return summary;
    }
    summary.fileRead = true;
    summary.untranslated = gathered.untranslated;
    summary.fuzzy = gathered.fuzzy;

    for (const QString &line : std::as_const(gathered.unplaced)) {
        observer.report(line);
        ++summary.skipped;
    }
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

    observer.status(QStringLiteral("Finished Importing!"));
    observer.report(QStringLiteral("Finished importing translations from ") + path
                    + QStringLiteral(": %1 applied, %2 skipped, %3 untranslated, %4 fuzzy")
                          .arg(summary.applied)
                          .arg(summary.skipped)
                          .arg(summary.untranslated)
                          .arg(summary.fuzzy));
    return summary;
}

} // namespace core
