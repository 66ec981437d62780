#include "narcfixture.h"

#include <QFile>

namespace {

void appendU16(QByteArray &out, quint16 value)
{
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}

void appendU32(QByteArray &out, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

} // namespace

QByteArray plainNameTable()
{
    return QByteArray("\x04\x00\x00\x00\x00\x00\x01\x00", 8);
}

QByteArray buildNarcBytes(const QList<QByteArray> &entries, const QByteArray &nameTable, char padByte)
{
    const QByteArray names = nameTable.isNull() ? plainNameTable() : nameTable;
    QByteArray data;
    QList<quint32> starts;
    QList<quint32> ends;
    for (const QByteArray &entry : entries) {
        starts.append(quint32(data.size()));
        data.append(entry);
        ends.append(quint32(data.size()));
        while (data.size() % 4)
            data.append(padByte);
    }
    const quint32 fatSize = 12 + 8 * quint32(entries.size());
    const quint32 fntSize = 8 + quint32(names.size());
    const quint32 imgSize = 8 + quint32(data.size());

    QByteArray out("NARC", 4);
    appendU16(out, 0xFFFE);
    appendU16(out, 0x0100);
    appendU32(out, 16 + fatSize + fntSize + imgSize);
    appendU16(out, 16);
    appendU16(out, 3);
    out.append("BTAF", 4);
    appendU32(out, fatSize);
    appendU32(out, quint32(entries.size()));
    for (int i = 0; i < entries.size(); ++i) {
        appendU32(out, starts[i]);
        appendU32(out, ends[i]);
    }
    out.append("BTNF", 4);
    appendU32(out, fntSize);
    out.append(names);
    out.append("GMIF", 4);
    appendU32(out, imgSize);
    out.append(data);
    return out;
}

bool writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
