// Any bytes as a ROM image, read through the device reader files use (a
// QBuffer): the reader refuses them, or gives a file system whose files lie
// inside the input without sharing bytes, whose named files are found again by
// their paths, and where a file written back, shrunk, kept or grown, lands over
// nothing else the image holds; written out (into memory files), the new image
// reads back with that file changed and every other file as it was.

#include "rom/romfilesystem.h"
#include "rom/romheader.h"
#include "rom/romplacement.h"
#include "rom/romwriter.h"

#include <QBuffer>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

using namespace core;

namespace {

// Stops with the broken property named.
[[noreturn]] void fail(const char *property, int line)
{
    std::fprintf(stderr, "fuzz_rom_reader: %s fails (line %d)\n", property, line);
    abort();
}
#define check(condition) ((condition) ? void() : fail(#condition, __LINE__))

// Writes `image` with file `id` replaced by `bytes` through memory files, and
// checks the result.
void writeBack(QByteArray image, const RomFileSystem &fs, int id, const RomPlacement &placement,
               const QByteArray &bytes)
{
    const int in = memfd_create("image", 0);
    const int out = memfd_create("new", 0);
    check(in >= 0 && out >= 0);
    check(write(in, image.constData(), size_t(image.size())) == image.size());
    QFile source;
    QFile target;
    check(source.open(in, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
    check(target.open(out, QIODevice::ReadWrite | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle));
    check(writeRomImage(source, target, fs, placement, bytes).ok());
    check(target.size() == placement.imageSize);
    check(target.seek(0));
    QByteArray written = target.readAll();
    QBuffer device(&written);
    device.open(QIODevice::ReadOnly);
    const Result<RomFileSystem> again = readRomFileSystem(&device);
    check(again.ok() && again.value.files.size() == fs.files.size() && again.value.checksumMatches());
    QBuffer old(&image);
    old.open(QIODevice::ReadOnly);
    for (int other = 0; other < fs.files.size(); ++other) {
        const QByteArray expected = other == id ? bytes : readRomFile(&old, fs, other).value;
        check(readRomFile(&device, again.value, other).value == expected);
        check(again.value.path(other) == fs.path(other));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    const Result<RomFileSystem> read = readRomFileSystem(&device);
    if (!read.ok())
        return 0;
    const RomFileSystem &fs = read.value;
    qint64 total = 0;
    for (int id = 0; id < fs.files.size(); ++id) {
        const RomFile &file = fs.files.at(id);
        check(file.start <= file.end && file.end <= size);
        total += file.size();
        const QString path = fs.path(id);
        check(path.isEmpty() || fs.idOf(path) == id);
        const Result<QByteArray> content = readRomFile(&device, fs, id);
        check(content.ok() && content.value.size() == file.size());
    }
    check(total <= qint64(size)); // no two files share a byte

    // Every file of a small image, shrunk, kept and grown, goes where nothing else is.
    const int ids = int(qMin<qsizetype>(fs.files.size(), 16));
    for (int id = 0; id < ids; ++id) {
        const RomFile &file = fs.files.at(id);
        for (const qint64 length : {qint64(0), file.size() / 2, file.size(), file.size() + 1, file.size() + 0x300}) {
            const Result<qint64> room = findRomRoom(&device, fs, length);
            check(room.ok() && room.value >= fs.usedEnd);
            const Result<RomPlacement> placed = placeRomFile(fs, id, length, room.value);
            if (!placed.ok())
                continue;
            const RomPlacement &p = placed.value;
            // A file that moves lands on padding only (or past the image's end).
            for (qint64 at = p.start; p.moved && at < qMin<qint64>(p.end, qint64(size)); ++at)
                check(bytes.at(qsizetype(at)) == char(0xFF));
            check(qint64(p.end) - p.start == length && p.usedSize >= p.end);
            check(romChipBytes(p.capacity) >= p.usedSize);
            for (const RomSpan &span : fs.occupied) {
                const bool itself = span.start == file.start && span.end == file.end;
                check(itself || length == 0 || span.end <= p.start || span.start >= p.end);
            }
            const QByteArray header = placedRomHeader(fs, p);
            check(romField16(header, romfield::headerChecksum) == romHeaderChecksum(header));
            if (id == int(data[0] % ids) && p.imageSize <= (1 << 20))
                writeBack(bytes, fs, id, p, QByteArray(qsizetype(length), char(0xA5)));
        }
    }
    return 0;
}
