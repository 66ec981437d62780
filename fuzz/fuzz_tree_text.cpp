// Any bytes as the text file of one section in an import tree, read as every
// edited text is read (byte-order marks, UTF-8/16/32, U+0000 refused, bounded)
// and composed into the section as the import composes it:
// - a file and a device that hands the bytes over a few at a time, as standard
//   input does, give the same text or both refuse it;
// - a device that never ends is refused once past the bound, never read on;
// - text that composes gives a section that shows it as stored, leaves the
//   entry's other sections as they were, and composes again to the same bytes;
// - the real tree import (tree/importtree) of a tree holding the file stores
//   exactly that entry, or reports the file or the section and changes nothing;
// - the archive it gives, exported to a tree (tree/exporttree), leaves no file
//   that differs from it, one that differs from the archive before the import
//   exactly when the import changed the section's text, and imports back to
//   the same bytes.
//
// The first byte chooses the entry (0-2), the section, whether the device never
// ends, and the size of the pieces the second device hands over; the rest is
// the file. The trees stay in temporary directories (in memory, /dev/shm, where
// there is one); each input is written over the same file.

#include "codec/compose.h"
#include "codec/decode.h"
#include "codec/messageheader.h"
#include "fuzzing.h"
#include "io/textfile.h"
#include "tree/exporttree.h"
#include "tree/importtree.h"
#include "tree/layout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace core;

#define require(condition) FUZZ_CHECK("fuzz_tree_text", condition)

namespace {

// A sequential device (a pipe, a terminal) that hands `bytes` over in pieces of
// at most `piece` bytes; with `endless`, starts over at the end, forever.
class Trickle : public QIODevice
{
public:
    Trickle(QByteArrayView bytes, qint64 piece, bool endless)
        : bytes(bytes)
        , piece(piece)
        , endless(endless)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    qint64 served = 0;

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (endless && at == bytes.size())
            at = 0;
        const qint64 n = qMin(qMin(maxSize, piece), qint64(bytes.size()) - at);
        std::copy_n(bytes.data() + at, n, data);
        at += n;
        served += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArrayView bytes;
    qint64 piece;
    bool endless;
    qint64 at = 0;
};

// A temporary directory in memory where the system has one.
QString temporaryBase()
{
    const QString shm = QStringLiteral("/dev/shm");
    return (QFileInfo(shm).isDir() && QFileInfo(shm).isWritable() ? shm : QDir::tempPath())
           + QStringLiteral("/fuzz_tree_text-XXXXXX");
}

// The tree the import reads: one file, renamed when another entry or section is
// fuzzed, written over for each input.
struct Tree
{
    QTemporaryDir dir{temporaryBase()};
    QString root;
    QString file; // its path, or empty before the first input
    int fd = -1;

    Tree()
    {
        root = treeRoot(dir.path());
        if (!dir.isValid() || !QDir().mkpath(treeFolderPath(root, 0)) || !QDir().mkpath(treeFolderPath(root, 1)))
            fuzzing::fail("fuzz_tree_text", "the tree can be made", __LINE__);
    }

    void hold(int entry, int section, QByteArrayView bytes)
    {
        const QString path = treeFilePath(root, entry, section);
        if (fd < 0) {
            fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            require(fd >= 0);
        } else if (path != file) {
            require(std::rename(QFile::encodeName(file).constData(), QFile::encodeName(path).constData()) == 0);
        }
        file = path;
        require(ftruncate(fd, 0) == 0);
        require(pwrite(fd, bytes.data(), size_t(bytes.size()), 0) == bytes.size());
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    static const Narc original = fuzzing::treeArchive();
    static Tree tree;
    const int entryIndex = data[0] % 3;
    const int section = data[0] >> 2 & 1;
    const bool endless = data[0] >> 3 & 1;
    const qint64 piece = (data[0] >> 4) + 1;
    const QByteArrayView bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const NarcEntry &entry = original.files.at(entryIndex);
    const int sections = readMessageHeader(entry).header.sectionCount;
    const int lineCount = readMessageHeader(entry).header.lineCount;

    // Read as standard input is read; the tree import below reads the file.
    Trickle trickle(bytes, piece, false);
    const Result<QString> read = readEditedText(trickle, lineCount);
    if (read)
        require(!read.value.contains(QChar(0)) && read.value.isValidUtf16());
    if (endless && !bytes.isEmpty()) {
        Trickle neverEnding(bytes, 1 << 16, true);
        const Result<QString> endlessRead = readEditedText(neverEnding, lineCount);
        require(!endlessRead.ok() && endlessRead.reason.startsWith(QLatin1String("larger than")));
        require(neverEnding.served <= maxEditedTextBytes + (1 << 16));
    }

    // Composed as the import composes it.
    const ComposeResult composed = read ? composeEntry(entry, read.value, section) : ComposeResult{entry, {}};
    if (read && composed.changed()) {
        const DecodedSection shownNow = decodeMessageSection(composed.entry, section);
        require(shownNow.ok() && shownNow.lines.size() == lineCount);
        const ComposeResult again = composeEntry(composed.entry, shownNow.lines.join(QLatin1Char('\n')), section);
        require(again.changed() && again.entry == composed.entry);
        for (int other = 0; other < sections; ++other) {
            if (other != section)
                require(decodeMessageSection(composed.entry, other).lines == decodeMessageSection(entry, other).lines);
        }
    }

    // The tree import of the same file.
    tree.hold(entryIndex, section, bytes);
    Narc narc = original;
    fuzzing::CountingObserver observer;
    const BulkSummary summary = importFromTree(narc, tree.dir.path(), observer);
    require(!summary.refused && summary.finished);
    const bool looked = section < sections;
    require(summary.filesMissing == 5 - int(looked));
    for (int e = 0; e < narc.files.size(); ++e) {
        if (e != entryIndex)
            require(narc.files.at(e) == original.files.at(e));
    }
    if (!looked) {
        require(summary.sectionsSkipped == 1 && summary.filesFailed == 0 && narc.files == original.files);
    } else if (!read) {
        require(summary.filesFailed == 1 && summary.sectionsSkipped == 0 && narc.files == original.files);
    } else if (!composed.changed()) {
        require(summary.sectionsSkipped == 1 && summary.filesFailed == 0 && narc.files == original.files);
    } else {
        require(summary.sectionsChanged == 1 && summary.sectionsSkipped == 0 && summary.filesFailed == 0);
        require(narc.files.at(entryIndex) == composed.entry);
    }

    // Exported, and imported back.
    static QTemporaryDir exported(temporaryBase());
    const BulkSummary out = exportToTree(narc, exported.path(), FileIdentity(), EditedFiles::Replace, observer);
    require(!out.refused && out.finished && out.filesFailed == 0 && out.sectionsUnreadable == 0);
    const Result<EditedTreeFiles> same = findEditedTreeFiles(narc, exported.path());
    require(same.ok() && same.value.count == 0);
    const bool textChanged = looked
                             && decodeMessageSection(narc.files.at(entryIndex), section).lines
                                    != decodeMessageSection(entry, section).lines;
    const Result<EditedTreeFiles> edited = findEditedTreeFiles(original, exported.path());
    require(edited.ok() && edited.value.count == int(textChanged));
    Narc back = original;
    const BulkSummary in = importFromTree(back, exported.path(), observer);
    require(!in.refused && in.finished && in.filesFailed == 0 && in.sectionsSkipped == 0);
    require(back.files == narc.files);
    return 0;
}
