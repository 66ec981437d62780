#include "rom/romheader.h"

#include <QtEndian>

namespace core {

quint16 crc16Modbus(const char *data, qsizetype size)
{
    quint16 crc = 0xFFFF;
    for (qsizetype i = 0; i < size; ++i) {
        crc ^= quint8(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

quint32 romField32(const QByteArray &bytes, int offset)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

quint16 romField16(const QByteArray &bytes, int offset)
{
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

quint8 romField8(const QByteArray &bytes, int offset)
{
    return quint8(bytes.at(offset));
}

void setRomField32(QByteArray &bytes, int offset, quint32 value)
{
    qToLittleEndian(value, bytes.data() + offset);
}

quint16 romHeaderChecksum(const QByteArray &bytes)
{
    return crc16Modbus(bytes.constData(), romfield::headerChecksum);
}

bool isDsiUnitCode(quint8 unitCode)
{
    return unitCode == 2 || unitCode == 3;
}

qint64 romChipBytes(quint8 code)
{
    // 128 KiB << 40 is far past any image (offsets are 32-bit) and still fits.
    return smallestRomChip << qMin<int>(code, 40);
}

quint8 romCapacityFor(qint64 usedBytes, quint8 code)
{
    while (romChipBytes(code) < usedBytes)
        ++code;
    return code;
}

} // namespace core
