#pragma once

// What the fuzz targets and the seed writer share: a way to stop with the broken
// property named, an observer that keeps nothing, and the message files and
// archives they build with the project's own encoder.

#include "codec/messagefile.h"
#include "narc/narc.h"
#include "report/observer.h"

#include <QList>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace fuzzing {

// Stops with the broken property named.
[[noreturn]] inline void fail(const char *target, const char *property, int line)
{
    std::fprintf(stderr, "%s: %s fails (line %d)\n", target, property, line);
    std::abort();
}

// Counts the report lines of a run and keeps none: a run's lines are bounded by
// the input, and keeping them would only slow the fuzzing. With FUZZ_VERBOSE
// set in the environment (when replaying one input), prints them.
struct CountingObserver : core::BulkObserver
{
    qsizetype lines = 0;
    void report(const QString &line) override
    {
        ++lines;
        static const bool verbose = std::getenv("FUZZ_VERBOSE") != nullptr;
        if (verbose)
            std::fprintf(stderr, "%s\n", qPrintable(line));
    }
};

// A message file whose sections hold `sections` (escaped lines, every section as
// long as the first), every line keyed by its index.
inline core::NarcEntry messageFile(const QList<QStringList> &sections)
{
    const qsizetype lineCount = sections.isEmpty() ? 0 : sections.first().size();
    QList<quint16> keys;
    QList<quint16> attributes;
    for (int i = 0; i < lineCount; ++i) {
        keys.append(quint16(0x1234 + 77 * i));
        attributes.append(quint16(i % 3));
    }
    return core::newMessageFile(sections, QList<QList<quint16>>(sections.size(), keys),
                                QList<QList<quint16>>(sections.size(), attributes))
        .value;
}

inline core::Narc archiveOf(const QList<core::NarcEntry> &entries)
{
    core::Narc narc = core::newNarc();
    narc.files = entries;
    narc.fileCount = quint32(entries.size());
    return narc;
}

// The archive the PO import fuzzing imports into, and whose template the PO
// seeds start from: two sections with escapes and empty lines, one section, an
// empty entry, an entry cut short (no section of it decodes) and three sections.
inline core::Narc poArchive()
{
    const core::NarcEntry full = messageFile({{QStringLiteral("Hello"), QString(),
                                               QStringLiteral("\\x000aWorld\\x0001 and \\x005c")},
                                              {QStringLiteral("\u3053\u3093\u306b\u3061\u306f"), QStringLiteral("x"),
                                               QStringLiteral("\u4e16\u754c\\xfffe")}});
    return archiveOf({full, messageFile({{QStringLiteral("One line \\xf000\\x0102\\x0003")}}), core::NarcEntry(),
                      core::NarcEntry(full.constData(), full.constData() + full.size() / 2),
                      messageFile({{QStringLiteral("a"), QStringLiteral("b")},
                                   {QStringLiteral("A"), QStringLiteral("B")},
                                   {QStringLiteral("\u00e4"), QStringLiteral("\u00df")}})});
}

// The archive the tree text fuzzing imports into: entry 0 has two sections of
// three lines, entry 1 one section of one line, entry 2 two sections of none.
inline core::Narc treeArchive()
{
    return archiveOf({messageFile({{QStringLiteral("Hello"), QString(), QStringLiteral("\\x000aWorld")},
                                   {QStringLiteral("\u3053\u3093"), QStringLiteral("x"), QStringLiteral("y")}}),
                      messageFile({{QStringLiteral("One \\xfffe")}}), messageFile({{}, {}})});
}

// The pieces of text each byte of fuzz_replace's input stands for. The lines of
// its archive take the first linePieceCount (no backslash but in a whole escape);
// the text to find and the replacement take all.
inline const char16_t *const replacePieces[] = {
    u"a",
    u"b",
    u"A",
    u"B",
    u"0",
    u"1",
    u"x",
    u"X",
    u" ",
    u"{",
    u"00",
    u"0a",
    u"x000a",
    u"\\x000a",
    u"\\x005c",
    u"\\xfffe",
    u"\\x0001",
    u"\\xf000",
    u"\\x007b",
    u"\u00e9",
    u"\u00c9",
    u"\u03c3",
    u"\u03a3",
    u"\u03c2",
    u"\u00df",
    u"\u0130",
    u"\u0131",
    u"\u3042",
    u"\U00010400",
    u"\U00010428",
    u"\U0001F600",
    // Not in lines:
    u"\\",
    u"\\x",
    u"\\x00",
    u"\n",
    u"\u2028",
    u"\r",
};
constexpr int linePieceCount = 31;
constexpr int replacePieceCount = int(std::size(replacePieces));
static_assert(replacePieceCount < 0xFD, "the bytes 0xFD-0xFF separate the parts");

inline QString replacePiece(uint8_t byte, bool inLine)
{
    return QString::fromUtf16(replacePieces[byte % (inLine ? linePieceCount : replacePieceCount)]);
}

// The byte that stands for `piece`.
inline char replaceByte(const QString &piece)
{
    for (int i = 0; i < replacePieceCount; ++i) {
        if (QString::fromUtf16(replacePieces[i]) == piece)
            return char(i);
    }
    std::abort();
}

} // namespace fuzzing

#define FUZZ_CHECK(target, condition) ((condition) ? void() : ::fuzzing::fail(target, #condition, __LINE__))
