#include "search/replace.h"

#include "codec/compose.h"
#include "codec/decode.h"
#include "report/lines.h"

#include <QList>
#include <QStringList>

#include <utility>

namespace core {

namespace {

// `line` with every occurrence of `query` replaced; adds their number to `*count`.
QString withReplacements(const QString &line, const SearchQuery &query, const QString &replacement, qint64 *count)
{
    QString out;
    qsizetype copied = 0;
    const Occurrences found = forEachOccurrence(line, query, [&](qsizetype column) {
        out += QStringView(line).mid(copied, column - copied);
        out += replacement;
        copied = column + query.text.size();
        return true;
    });
    if (found.found == 0)
        return line;
    *count += found.found;
    out += QStringView(line).mid(copied);
    return out;
}

bool isLineBreak(QChar c)
{
    // The separators the editor and the composer split lines on, and the two
    // Unicode ones a text widget breaks lines at.
    return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

} // namespace

Status replaceProblem(const SearchQuery &query, const QString &replacement)
{
    if (query.text.isEmpty())
        return Status::failure(QStringLiteral("the text to find is empty"));
    for (const QChar c : replacement) {
        if (isLineBreak(c))
            return Status::failure(QStringLiteral("the replacement holds a line break"));
    }
    return Status::success();
}

ReplaceSummary replaceInArchive(Narc &narc, const SearchQuery &query, const QString &replacement,
                                BulkObserver &observer)
{
    ReplaceSummary summary;
    const Status problem = replaceProblem(query, replacement);
    if (!problem) {
        observer.report(nothingReplacedLine(problem.reason));
        summary.refused = true;
        return summary;
    }

    // The sections holding an occurrence, in archive order; the search reports
    // what cannot be decoded.
    QList<std::pair<int, int>> sections;
    const SearchSummary found = searchArchive(narc, query, observer, [&](const SearchMatch &match, const QString &) {
        const std::pair<int, int> place(match.entry, match.section);
        if (sections.isEmpty() || sections.last() != place)
            sections.append(place);
        return true;
    });
    summary.sectionsUnreadable = found.sectionsUnreadable;
    summary.insideEscapes = found.insideEscapes;

    for (const auto &[entryIndex, section] : std::as_const(sections)) {
        const NarcEntry &entry = narc.files.at(entryIndex);
        QStringList lines = decodeMessageSection(entry, section).lines;
        qint64 count = 0;
        for (QString &line : lines)
            line = withReplacements(line, query, replacement, &count);

        // The section's text as the editor would hold it after the same edits.
        ComposeResult result = composeEntry(entry, lines.join(QLatin1Char('\n')), section);
        if (!result.changed()) {
            ++summary.sectionsRefused;
            observer.report(composeRefusedLine(entryIndex, section, result.reason));
            continue;
        }
        if (result.entry != entry) {
            narc.files[entryIndex] = std::move(result.entry);
            summary.changed = true;
        }
        summary.occurrences += count;
        ++summary.sectionsReplaced;
    }

    observer.note(replacedLine(summary.occurrences, summary.sectionsReplaced, summary.insideEscapes));
    return summary;
}

} // namespace core
