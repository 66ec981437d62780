// Writing one changed archive back into a 64 MiB ROM image, beside copying that
// image: the same I/O without our work, in the same run. The work reads the
// archive out of the image, changes one entry, and writes it back (a new image
// beside the old, synced and renamed over it); the baselines copy the image to a
// new file, sync it and rename it over the copy before, once with an in-kernel
// copy (as cp does) and once by reads and writes of 1 MiB. Every figure is the
// median of paired runs, with the range of the ratios.
//
//   bench_rom [WORKDIR] [PAIRS]   (defaults: /dev/shm, 11)

#include "narc/narcreader.h"
#include "narc/narcwriter.h"
#include "pairedruns.h"
#include "rom/romimagefile.h"
#include "romfixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace core;

namespace {

constexpr qint64 imageBytes = 64 << 20;

// Bytes that do not compress or repeat, the same in every run.
QByteArray noise(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

// An archive of 400 entries of 1 to 3 KiB.
QByteArray archive()
{
    Narc narc = newNarc();
    for (int i = 0; i < 400; ++i) {
        const QByteArray entry = noise(1024 + (i * 37) % 2048, quint32(i));
        narc.files.append(NarcEntry(entry.begin(), entry.end()));
    }
    return serializeNarc(narc);
}

// A 64 MiB image, trimmed: 1 MiB of ARM9 code, 8 overlays, the archive among
// 180 other files, filling the 64 MiB chip but for the last 64 KiB or so.
QByteArray image()
{
    RomLayout layout;
    layout.arm9 = noise(1 << 20, 1);
    layout.arm7 = noise(128 << 10, 2);
    for (int i = 0; i < 8; ++i)
        layout.overlays.append(noise(64 << 10, quint32(100 + i)));
    for (int i = 0; i < 90; ++i)
        layout.files.append({QStringLiteral("data/a%1.bin").arg(i), noise(350 << 10, quint32(200 + i))});
    layout.files.append({QStringLiteral("data/msg.narc"), archive()});
    for (int i = 0; i < 90; ++i)
        layout.files.append({QStringLiteral("data/b%1.bin").arg(i), noise(350 << 10, quint32(300 + i))});
    return buildRomImage(layout).bytes;
}

// Reads the archive out of the image, changes entry 7 (`grow` bytes longer; the
// same length gives new bytes), and writes it back.
void changeArchive(const RomMemberName &name, int round, int grow)
{
    const Result<QByteArray> bytes = loadRomMember(name);
    Result<Narc> read = readNarc(bytes.value);
    if (!bytes || !read.ok()) {
        std::fprintf(stderr, "bench_rom: cannot read the archive: %s%s\n", qPrintable(bytes.reason),
                     qPrintable(read.reason));
        std::exit(1);
    }
    NarcEntry &entry = read.value.files[7];
    entry[0] = char(round);
    entry.append(NarcEntry(grow, 'g'));
    const Result<RomPlacement> placed = replaceRomMember(name, serializeNarc(read.value));
    if (!placed || placed.value.moved != (grow > 0)) {
        std::fprintf(stderr, "bench_rom: cannot write the archive back: %s\n", qPrintable(placed.reason));
        std::exit(1);
    }
}

// The baselines: `from` copied to a new file beside `to`, synced, renamed over `to`.
void finish(int in, int out, const QByteArray &temporary, const QByteArray &to)
{
    if (::fdatasync(out) != 0 || ::close(out) != 0 || ::close(in) != 0
        || ::rename(temporary.constData(), to.constData()) != 0)
        std::exit(1);
}

void copyInKernel(const QByteArray &from, const QByteArray &to)
{
    const QByteArray temporary = to + ".copy-tmp";
    const int in = ::open(from.constData(), O_RDONLY);
    const int out = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    struct stat info = {};
    fstat(in, &info);
    off_t done = 0;
    while (done < info.st_size) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t(info.st_size - done), 0);
        if (n <= 0)
            std::exit(1);
        done += n;
    }
    finish(in, out, temporary, to);
}

void copyByBlocks(const QByteArray &from, const QByteArray &to)
{
    const QByteArray temporary = to + ".copy-tmp";
    const int in = ::open(from.constData(), O_RDONLY);
    const int out = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::read(in, block.data(), size_t(block.size()));
        if (n < 0 || (n > 0 && ::write(out, block.constData(), size_t(n)) != n))
            std::exit(1);
        if (n == 0)
            break;
    }
    finish(in, out, temporary, to);
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QString root = arguments.size() > 1 ? arguments.at(1) : QStringLiteral("/dev/shm");
    const int pairs = arguments.size() > 2 ? arguments.at(2).toInt() : 11;
    QTemporaryDir dir(root + QStringLiteral("/bench_rom-XXXXXX"));
    if (!dir.isValid())
        return 1;
    const QByteArray original = image();
    const QString path = dir.filePath(QStringLiteral("game.nds"));
    const QString pristine = dir.filePath(QStringLiteral("pristine.nds"));
    const QString copy = dir.filePath(QStringLiteral("copy.nds"));
    if (!writeBytes(path, original) || !writeBytes(pristine, original) || !writeBytes(copy, original))
        return 1;
    RomMemberName name;
    name.imagePath = path;
    name.memberPath = QStringLiteral("data/msg.narc");
    std::printf("bench_rom: a %.1f MiB image (%lld bytes) in %s, the archive %lld bytes, %d pairs\n",
                double(original.size()) / (1 << 20), qlonglong(original.size()), qPrintable(root),
                qlonglong(loadRomMember(name).value.size()), pairs);

    QVector<double> listing;
    for (int i = 0; i < pairs; ++i)
        listing.append(bench::seconds([&] { loadRomFileSystem(path); }));
    std::printf("  list the image's files (header and tables only): %.3f ms median, %.3f-%.3f ms\n",
                bench::median(listing) * 1e3, *std::min_element(listing.begin(), listing.end()) * 1e3,
                *std::max_element(listing.begin(), listing.end()) * 1e3);

    const QByteArray from = QFile::encodeName(pristine);
    const QByteArray to = QFile::encodeName(copy);
    int round = 0;
    bench::Paired inPlace = bench::pairedRuns(
        pairs, [&] { changeArchive(name, ++round, 0); }, [&] { copyInKernel(from, to); });
    bench::printPaired("change the archive, in its room", inPlace, "copy the image (in-kernel)");
    inPlace = bench::pairedRuns(
        pairs, [&] { changeArchive(name, ++round, 0); }, [&] { copyByBlocks(from, to); });
    bench::printPaired("change the archive, in its room", inPlace, "copy the image (1 MiB blocks)");

    // Each run starts from the original image: the archive moves past the used area.
    bench::Paired moved = bench::pairedRuns(
        pairs, [&] { changeArchive(name, ++round, 64 << 10); }, [&] { copyInKernel(from, to); },
        [&] { copyInKernel(from, QFile::encodeName(path)); });
    bench::printPaired("change the archive, grown and moved", moved, "copy the image (in-kernel)");

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("  peak memory of the process: %ld MiB (the 64 MiB image was built in memory)\n",
                usage.ru_maxrss / 1024);
    return 0;
}
