// Any bytes as a PO file of translations, imported as `narctext import-po` and
// the window import them (gettext's own library parses the file) into a small
// archive of every kind of entry: a refused file changes nothing; an import
// changes no entry it cannot decode, leaves every section decodable with its
// line count, changes no more lines than it counts as applied, and importing
// the same file again changes nothing more.
//
// The file lives in memory (memfd), named by /proc/self/fd/N as a path on disk
// is; each input is written over it, so the fuzzing makes no files.
//
// Leaks stay detected. The library loses some of what it allocates while it
// reads a file; fuzz/lsan.supp (LSAN_OPTIONS=suppressions=..., as tools/fuzz.sh
// sets it) suppresses exactly the leaks allocated inside its reader
// (po_file_read), not what the library hands over to the caller to free.

#include "codec/decode.h"
#include "codec/messageheader.h"
#include "fuzzing.h"
#include "po/poimport.h"

#include <QString>

#include <sys/mman.h>
#include <unistd.h>

using namespace core;

#define require(condition) FUZZ_CHECK("fuzz_po_import", condition)

namespace {

int poFile = -1;
QString poPath;

// The lines of every section of every entry; an entry whose head cannot be read
// has none listed, a section that cannot be decoded an empty list.
struct Shown
{
    QList<QList<QStringList>> sections;
    QList<QList<bool>> decodes;
};

Shown shown(const Narc &narc)
{
    Shown out;
    for (const NarcEntry &entry : narc.files) {
        QList<QStringList> sections;
        QList<bool> decodes;
        const MessageHeaderRead head = readMessageHeader(entry);
        for (int s = 0; head.ok() && s < head.header.sectionCount; ++s) {
            const DecodedSection decoded = decodeMessageSection(entry, s);
            sections.append(decoded.lines);
            decodes.append(decoded.ok());
        }
        out.sections.append(sections);
        out.decodes.append(decodes);
    }
    return out;
}

} // namespace

// Telling the two apart takes the whole stack of each allocation, which the fast
// unwinder cannot walk through the library (built without frame pointers).
extern "C" const char *__asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    poFile = memfd_create("fuzz.po", MFD_CLOEXEC);
    if (poFile < 0)
        fuzzing::fail("fuzz_po_import", "memfd_create", __LINE__);
    poPath = QStringLiteral("/proc/self/fd/%1").arg(poFile);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    require(ftruncate(poFile, 0) == 0);
    require(pwrite(poFile, data, size, 0) == ssize_t(size));

    static const Narc original = fuzzing::poArchive();
    static const Shown before = shown(original);
    PoImportOptions options;
    options.strict = size % 2 == 1; // both ways, chosen by something every mutation changes
    options.breaks = {0x000a};

    Narc narc = original;
    fuzzing::CountingObserver observer;
    const PoImportSummary summary = importFromPo(narc, poPath, observer, options);
    require(observer.lines >= 1);
    if (summary.refused) {
        require(narc.files == original.files);
        require(summary.applied == 0 && summary.sectionsChanged == 0);
        return 0;
    }
    require(summary.applied >= 0 && summary.skipped >= 0 && summary.untranslated >= 0 && summary.fuzzy >= 0);

    // What changed: only lines of sections that decoded, no more than applied.
    const Shown after = shown(narc);
    require(after.sections.size() == before.sections.size());
    int linesChanged = 0;
    int sectionsChanged = 0;
    for (qsizetype e = 0; e < before.sections.size(); ++e) {
        require(after.decodes.at(e).size() == before.decodes.at(e).size());
        bool decodable = !before.decodes.at(e).isEmpty();
        for (qsizetype s = 0; s < before.decodes.at(e).size(); ++s) {
            decodable &= before.decodes.at(e).at(s);
            require(after.decodes.at(e).at(s) == before.decodes.at(e).at(s));
            const QStringList &was = before.sections.at(e).at(s);
            const QStringList &is = after.sections.at(e).at(s);
            require(was.size() == is.size());
            int changed = 0;
            for (qsizetype l = 0; l < was.size(); ++l)
                changed += was.at(l) != is.at(l);
            linesChanged += changed;
            sectionsChanged += changed > 0;
        }
        if (!decodable)
            require(narc.files.at(e) == original.files.at(e));
    }
    require(linesChanged <= summary.applied);
    require(sectionsChanged <= summary.sectionsChanged);
    require(summary.sectionsChanged == 0 || narc.files != original.files);

    // A file imported twice: the second time finds every translation in place.
    const QList<NarcEntry> once = narc.files;
    fuzzing::CountingObserver again;
    const PoImportSummary second = importFromPo(narc, poPath, again, options);
    require(!second.refused);
    require(second.sectionsChanged == 0 && narc.files == once);
    require(second.applied >= summary.applied);
    return 0;
}
