// A text to find, a replacement and an archive, all made from the input, through
// the replace of `narctext replace` and the window (search/replace), checked
// against a plain model of what a replace must do:
// - escapes (\xhhhh) are single units: when the text to find holds no backslash,
//   only matches that lie wholly outside every escape are replaced, counted and
//   found; when it holds one, the escapes are searched as text;
// - every section that had a match takes the modelled text, or, when the
//   composer refuses that text, stays as it was; nothing else changes, and
//   every section still decodes with its line count;
// - find finds exactly the modelled matches, at their lines and columns;
// - replacing a text by itself changes no byte.
// Then the archive is exported as one text file and as a PO template (into
// /dev/null), as a user would export it next.
//
// The input: one byte of flags (ignore case; one, two or three sections per
// entry; an entry cut short; an empty entry), then the text to find up to a byte
// 0xFF, the replacement up to the next 0xFF, then the lines of the entries: 0xFE
// ends a line, 0xFD an entry. Every other byte is one piece of text (a letter,
// an escape, a character whose case folds, ...).

#include "codec/compose.h"
#include "codec/decode.h"
#include "codec/messageheader.h"
#include "fuzzing.h"
#include "onefile/exportfile.h"
#include "po/poexport.h"
#include "search/replace.h"
#include "search/search.h"

#include <QString>
#include <QStringList>

using namespace core;

#define require(condition) FUZZ_CHECK("fuzz_replace", condition)

namespace {

struct Input
{
    bool ignoreCase = false;
    int sections = 1;
    bool cutEntry = false;
    bool emptyEntry = false;
    QString query;
    QString replacement;
    QList<QStringList> entries; // lines per entry
};

Input parse(const uint8_t *data, size_t size)
{
    Input in;
    in.ignoreCase = data[0] & 1;
    in.sections = 1 + (data[0] >> 1 & 3) % 3;
    in.cutEntry = data[0] >> 3 & 1;
    in.emptyEntry = data[0] >> 4 & 1;
    int part = 0; // query, replacement, lines
    QString line;
    QStringList lines;
    for (size_t i = 1; i < size; ++i) {
        const uint8_t byte = data[i];
        if (part < 2 && byte == 0xFF) {
            ++part;
        } else if (part == 0) {
            in.query += fuzzing::replacePiece(byte, false);
        } else if (part == 1) {
            in.replacement += fuzzing::replacePiece(byte, false);
        } else if (byte == 0xFE || byte == 0xFD) {
            lines.append(line);
            line.clear();
            if (byte == 0xFD) {
                in.entries.append(lines);
                lines.clear();
            }
        } else {
            line += fuzzing::replacePiece(byte, true);
        }
    }
    if (!line.isEmpty())
        lines.append(line);
    if (!lines.isEmpty())
        in.entries.append(lines);
    return in;
}

Narc archiveOf(const Input &in)
{
    QList<NarcEntry> entries;
    for (const QStringList &lines : in.entries) {
        QList<QStringList> sections;
        for (int s = 0; s < in.sections; ++s) {
            QStringList rotated;
            for (qsizetype i = 0; i < lines.size(); ++i)
                rotated.append(lines.at((i + s) % lines.size()));
            sections.append(rotated);
        }
        const Result<NarcEntry> file = newMessageFile(sections,
                                                      QList<QList<quint16>>(in.sections,
                                                                            QList<quint16>(lines.size(), 0x5A5A)));
        require(file.ok());
        entries.append(file.value);
    }
    if (in.cutEntry && !entries.isEmpty())
        entries.append(NarcEntry(entries.first().constData(),
                                 entries.first().constData() + entries.first().size() - 3));
    if (in.emptyEntry)
        entries.insert(entries.size() / 2, NarcEntry());
    return fuzzing::archiveOf(entries);
}

// `text` with the matches of `query` replaced, left to right, none overlapping.
QString replacedPlainly(QStringView text, const QString &query, const QString &replacement, Qt::CaseSensitivity cs,
                        qint64 *count, QList<qsizetype> *columns, qsizetype offset)
{
    QString out;
    qsizetype from = 0;
    for (qsizetype at; (at = text.indexOf(query, from, cs)) >= 0; from = at + query.size()) {
        out += text.mid(from, at - from);
        out += replacement;
        ++*count;
        columns->append(offset + at);
    }
    out += text.mid(from);
    return out;
}

// The model: `line` (as decoded: every backslash starts a six-character escape)
// with the matches of `query` replaced; their number added to `count` and their
// columns appended to `columns`.
QString modelled(const QString &line, const QString &query, const QString &replacement, Qt::CaseSensitivity cs,
                 qint64 *count, QList<qsizetype> *columns)
{
    if (query.contains(QLatin1Char('\\')))
        return replacedPlainly(line, query, replacement, cs, count, columns, 0);
    // Between escapes only.
    QString out;
    for (qsizetype i = 0; i < line.size();) {
        qsizetype backslash = line.indexOf(QLatin1Char('\\'), i);
        if (backslash < 0)
            backslash = line.size();
        out += replacedPlainly(QStringView(line).mid(i, backslash - i), query, replacement, cs, count, columns, i);
        if (backslash == line.size())
            break;
        require(backslash + 6 <= line.size() && line.at(backslash + 1) == QLatin1Char('x'));
        out += QStringView(line).mid(backslash, 6);
        i = backslash + 6;
    }
    return out;
}

bool isLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const Input in = parse(data, size);
    const Narc original = archiveOf(in);
    const SearchQuery query{in.query, in.ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive};

    Narc narc = original;
    fuzzing::CountingObserver observer;
    const ReplaceSummary summary = replaceInArchive(narc, query, in.replacement, observer);
    const bool refusable = in.query.isEmpty() || std::any_of(in.replacement.begin(), in.replacement.end(), isLineBreak);
    require(summary.refused == refusable);
    if (summary.refused) {
        require(narc.files == original.files && !summary.changed);
        return 0;
    }

    // Section by section against the model.
    qint64 occurrences = 0;
    qint64 matches = 0;
    int replaced = 0;
    int refused = 0;
    int unreadable = 0;
    QList<SearchMatch> modelMatches;
    for (int e = 0; e < original.files.size(); ++e) {
        const NarcEntry &entry = original.files.at(e);
        const MessageHeaderRead head = readMessageHeader(entry);
        if (entry.isEmpty() || !head.ok()) {
            unreadable += !entry.isEmpty();
            require(narc.files.at(e) == entry);
            continue;
        }
        for (int s = 0; s < head.header.sectionCount; ++s) {
            const DecodedSection before = decodeMessageSection(entry, s);
            const DecodedSection after = decodeMessageSection(narc.files.at(e), s);
            require(after.ok() == before.ok());
            if (!before.ok()) {
                ++unreadable;
                continue;
            }
            QStringList expected;
            qint64 count = 0;
            for (int l = 0; l < before.lines.size(); ++l) {
                QList<qsizetype> columns;
                expected.append(modelled(before.lines.at(l), query.text, in.replacement, query.sensitivity, &count,
                                         &columns));
                for (const qsizetype column : std::as_const(columns))
                    modelMatches.append({e, s, l, int(column), int(query.text.size())});
            }
            matches += count;
            QStringList shown = before.lines;
            if (count > 0) {
                const ComposeResult composed = composeEntry(entry, expected.join(QLatin1Char('\n')), s);
                if (composed.changed()) {
                    shown = decodeMessageSection(composed.entry, s).lines;
                    occurrences += count;
                    ++replaced;
                } else {
                    ++refused;
                }
            }
            require(after.lines == shown);
        }
    }
    require(summary.occurrences == occurrences && summary.sectionsReplaced == replaced);
    require(summary.sectionsRefused == refused && summary.sectionsUnreadable == unreadable);
    require(summary.changed == (narc.files != original.files));
    if (query.text.contains(QLatin1Char('\\')))
        require(summary.insideEscapes == 0);

    // Find finds what the model finds.
    fuzzing::CountingObserver findObserver;
    const FoundMatches found = findInArchive(original, query, findObserver);
    require(found.summary.matches == matches && found.matches == modelMatches);
    require(found.summary.insideEscapes == summary.insideEscapes);

    // The text by itself, as it was found.
    Narc same = original;
    fuzzing::CountingObserver sameObserver;
    const ReplaceSummary itself = replaceInArchive(same, SearchQuery{in.query, Qt::CaseSensitive}, in.query,
                                                   sameObserver);
    require(!itself.changed && same.files == original.files);

    // And exported.
    fuzzing::CountingObserver exportObserver;
    const BulkSummary file = exportToFile(narc, QStringLiteral("/dev/null"), FileIdentity(), exportObserver);
    // (An entry whose head cannot be read counts once above, per section here.)
    require(file.finished && (file.sectionsUnreadable == 0) == (unreadable == 0));
    const BulkSummary po = exportToPoTemplate(narc, QStringLiteral("fuzz.narc"), QStringLiteral("/dev/null"),
                                              FileIdentity(), exportObserver);
    require(po.finished && po.sectionsUnreadable == unreadable);
    return 0;
}
