#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace core {

// The header of a DS ROM image: its first 0x200 bytes, little-endian. Only the
// fields the file system and a write-back use are named; every other byte is
// carried as it was read.
namespace romfield {
constexpr int unitCode = 0x012;       // 0 DS, 2 DS and DSi, 3 DSi only
constexpr int deviceCapacity = 0x014; // the chip holds 128 KiB << this byte
constexpr int arm9Offset = 0x020;
constexpr int arm9Size = 0x02C;
constexpr int arm7Offset = 0x030;
constexpr int arm7Size = 0x03C;
constexpr int nameTableOffset = 0x040;
constexpr int nameTableSize = 0x044;
constexpr int allocationTableOffset = 0x048;
constexpr int allocationTableSize = 0x04C;
constexpr int arm9OverlayTableOffset = 0x050;
constexpr int arm9OverlayTableSize = 0x054;
constexpr int arm7OverlayTableOffset = 0x058;
constexpr int arm7OverlayTableSize = 0x05C;
constexpr int bannerOffset = 0x068;
constexpr int usedSize = 0x080;        // bytes of the image in use, from 0
constexpr int dsiNtrRegionEnd = 0x090; // DSi: end of what DS mode reads, in 0x80000-byte units
constexpr int headerChecksum = 0x15E;  // CRC-16 of bytes 0x000-0x15D
constexpr int dsiArm9Offset = 0x1C0;
constexpr int dsiArm9Size = 0x1CC;
constexpr int dsiArm7Offset = 0x1D0;
constexpr int dsiArm7Size = 0x1DC;
constexpr int dsiSectorDigestsOffset = 0x1F0;
constexpr int dsiSectorDigestsSize = 0x1F4;
constexpr int dsiBlockDigestsOffset = 0x1F8;
constexpr int dsiBlockDigestsSize = 0x1FC;
} // namespace romfield

constexpr int romHeaderBytes = 0x200;
// A DSi image's header runs on to 0x1000; nothing may be placed before that.
constexpr int dsiHeaderBytes = 0x1000;
// Files are placed at multiples of this, as in images the usual tools make.
constexpr qint64 romFileAlignment = 0x200;
// A device capacity of 0 stands for a chip of this many bytes.
constexpr qint64 smallestRomChip = 128 * 1024;

// CRC-16 with the reflected polynomial 0xA001 and initial value 0xFFFF, no final
// inversion (the "MODBUS" variant): "123456789" gives 0x4B37.
quint16 crc16Modbus(const char *data, qsizetype size);

// The fields of a header held in `bytes` (romHeaderBytes long).
quint32 romField32(const QByteArray &bytes, int offset);
quint16 romField16(const QByteArray &bytes, int offset);
quint8 romField8(const QByteArray &bytes, int offset);
void setRomField32(QByteArray &bytes, int offset, quint32 value);

// The header checksum `bytes` should hold, computed over 0x000-0x15D.
quint16 romHeaderChecksum(const QByteArray &bytes);

// Whether the unit code makes the image one for the DSi (codes 2 and 3): such an
// image also carries digests of its DS part, which a write makes stale.
bool isDsiUnitCode(quint8 unitCode);

// The bytes a chip of capacity code `code` holds (128 KiB << code); codes past
// any real chip give a size no image reaches.
qint64 romChipBytes(quint8 code);

// The smallest capacity code, at least `code`, whose chip holds `usedBytes`.
quint8 romCapacityFor(qint64 usedBytes, quint8 code);

} // namespace core
