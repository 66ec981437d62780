#include "search/replace.h"

#include "codec/compose.h"
#include "codec/decode.h"

#include <QList>
#include <QStringList>

#include <utility>

namespace core {

namespace {

// `line` with every occurrence of `query` replaced; adds their number to `*count`.
QString replacedLine(const QString &line, const SearchQuery &query, const QString &replacement, qint64 *count)
{
    QString out;
    qsizetype copied = 0;
    const qsizetype found = forEachOccurrence(line, query, [&](qsizetype column) {
        out += QStringView(line).mid(copied, column - copied);
        out += replacement;
        copied = column + query.text.size();
        return true;
    });
    if (found == 0)
        return line;
    *count += found;
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

QString replaceProblem(const SearchQuery &query, const QString &replacement)
{
    if (query.text.isEmpty())
        return QStringLiteral("the text to find is empty");
    for (const QChar c : replacement) {
        if (isLineBreak(c))
            return QStringLiteral("the replacement holds a line break");
    }
    return {};
}

ReplaceSummary replaceInArchive(Narc &narc, const SearchQuery &query, const QString &replacement,
                                BulkObserver &observer)
{
    ReplaceSummary summary;
    const QString problem = replaceProblem(query, replacement);
    if (!problem.isEmpty()) {
        observer.report(QStringLiteral("Nothing replaced: ") + problem);
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

    for (const auto &[entryIndex, section] : std::as_const(sections)) {
        const NarcEntry &entry = narc.files.at(entryIndex);
        QStringList lines = decodeMessageSection(entry, section).lines;
        qint64 count = 0;
        for (QString &line : lines)
            line = replacedLine(line, query, replacement, &count);

        // The section's text as the editor would hold it after the same edits.
        ComposeResult result = composeEntry(entry, lines.join(QLatin1Char('\n')), entryIndex, section);
        if (!result.changed()) {
            ++summary.sectionsRefused;
            observer.report(result.report.isEmpty() ? QStringLiteral("Skipping %1/%2: the section cannot be replaced")
                                                          .arg(section, 4, 10, QLatin1Char('0'))
                                                          .arg(entryIndex, 4, 10, QLatin1Char('0'))
                                                    : result.report);
            continue;
        }
        if (result.entry != entry) {
            narc.files[entryIndex] = std::move(result.entry);
            summary.changed = true;
        }
        summary.occurrences += count;
        ++summary.sectionsReplaced;
    }

    observer.report(QStringLiteral("Replaced %1 occurrences in %2 sections")
                        .arg(summary.occurrences)
                        .arg(summary.sectionsReplaced));
    return summary;
}

} // namespace core
