#include "narcfixture.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

static QByteArray u32(quint32 value)
{
    QByteArray out;
    for (int b = 0; b < 4; ++b)
        out.append(char(value >> (8 * b)));
    return out;
}

// A block: its tag, its size (8 + the content) and the content.
static QByteArray block(const char *tag, const QByteArray &content)
{
    return QByteArray(tag, 4) + u32(quint32(8 + content.size())) + content;
}

QByteArray plainNameTable()
{
    return QByteArray("\x04\x00\x00\x00\x00\x00\x01\x00", 8);
}

QByteArray buildNarcBytes(const QList<QByteArray> &entries, const QByteArray &nameTable, char padByte)
{
    QByteArray table = u32(quint32(entries.size()));
    QByteArray data;
    for (const QByteArray &entry : entries) {
        table += u32(quint32(data.size())) + u32(quint32(data.size() + entry.size()));
        data += entry + QByteArray(-entry.size() & 3, padByte);
    }
    const QByteArray body = block("BTAF", table) + block("BTNF", nameTable.isNull() ? plainNameTable() : nameTable)
                            + block("GMIF", data);
    // Tag, byte order 0xFFFE, version 0x0100, file size, header size 16, 3 blocks.
    return QByteArray("NARC\xFE\xFF\x00\x01", 8) + u32(quint32(16 + body.size())) + u32(0x00030010) + body;
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

QMap<QString, QByteArray> treeContents(const QString &root)
{
    QMap<QString, QByteArray> files;
    for (QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        files.insert(QDir(root).relativeFilePath(path), readFileBytes(path));
    }
    return files;
}

bool writeArchive(const QString &path, const QList<core::NarcEntry> &entries)
{
    QList<QByteArray> bytes;
    for (const core::NarcEntry &entry : entries)
        bytes.append(QByteArray(entry.constData(), entry.size()));
    return writeFileBytes(path, buildNarcBytes(bytes));
}
