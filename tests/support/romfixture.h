#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <utility>

// A DS ROM image to build, laid out as the usual tools lay one out: the header,
// the ARM9 binary, its overlay table and overlays, the ARM7 binary, the name
// table, the allocation table, then the named files; each part starts at a
// multiple of `alignment`, the gaps filled with 0xFF.
struct RomLayout
{
    QByteArray title = "TESTIMAGE"; // at most 12 bytes
    QByteArray gameCode = "TEST";
    quint8 unitCode = 0;
    QByteArray arm9 = QByteArray::fromHex("feffffea"); // b . (a loop)
    QByteArray arm7 = QByteArray::fromHex("feffffea");
    QList<QByteArray> overlays; // ARM9 overlays: file ids 0, 1, ...
    // "data/msg/one.narc" -> bytes. Directories get ids as they first appear;
    // the files of a directory get consecutive ids, directory by directory, and
    // are listed with its subdirectories in the order given here.
    QList<std::pair<QString, QByteArray>> files;
    qint64 alignment = 0x200;
    bool padded = false;   // filled with 0xFF up to the chip's capacity
    bool reversed = false; // the files' bytes laid out from the last id to the first
    // DSi images: a DSi ARM9 binary of 0x100 bytes here (a multiple of 0x80000,
    // past the DS part, which then ends here); 0 for none.
    qint64 dsiArm9At = 0;
};

struct BuiltRom
{
    QByteArray bytes;
    QMap<QString, int> ids; // path -> file id
    qint64 allocationTableAt = 0;
    qint64 nameTableAt = 0;
};

BuiltRom buildRomImage(const RomLayout &layout);

// The little-endian 32-bit number at `at`.
quint32 field32(const QByteArray &bytes, qint64 at);
