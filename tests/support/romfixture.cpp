#include "romfixture.h"

#include "rom/romheader.h"

#include <QStringList>
#include <QtEndian>

namespace {

struct Item
{
    QString name;
    int directory = -1; // a subdirectory, or
    int file = -1;      // a file, by its index in the layout
};

struct Directory
{
    QString path;
    int parent = 0;
    QList<Item> items;
    int firstId = 0;
};

void put32(QByteArray &bytes, qint64 at, quint32 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

void put16(QByteArray &bytes, qint64 at, quint16 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

QByteArray u32(quint32 value)
{
    QByteArray out(4, '\0');
    put32(out, 0, value);
    return out;
}

QByteArray u16(quint16 value)
{
    QByteArray out(2, '\0');
    put16(out, 0, value);
    return out;
}

qint64 aligned(qint64 at, qint64 alignment)
{
    return (at + alignment - 1) / alignment * alignment;
}

} // namespace

BuiltRom buildRomImage(const RomLayout &layout)
{
    // The directory tree, in order of appearance.
    QList<Directory> directories{Directory{}};
    QMap<QString, int> directoryIds{{QString(), 0}};
    for (int f = 0; f < layout.files.size(); ++f) {
        const QStringList parts = layout.files.at(f).first.split(QLatin1Char('/'));
        int current = 0;
        QString path;
        for (int p = 0; p + 1 < parts.size(); ++p) {
            path += (path.isEmpty() ? QString() : QStringLiteral("/")) + parts.at(p);
            if (!directoryIds.contains(path)) {
                directoryIds.insert(path, int(directories.size()));
                directories[current].items.append({parts.at(p), int(directories.size()), -1});
                directories.append(Directory{path, current, {}, 0});
            }
            current = directoryIds.value(path);
        }
        directories[current].items.append({parts.last(), -1, f});
    }
    BuiltRom built;
    QList<int> fileIds(layout.files.size());
    int nextId = int(layout.overlays.size());
    for (Directory &directory : directories) {
        directory.firstId = nextId;
        for (const Item &item : std::as_const(directory.items)) {
            if (item.file >= 0) {
                fileIds[item.file] = nextId++;
                built.ids.insert(layout.files.at(item.file).first, fileIds.at(item.file));
            }
        }
    }

    // Name table: the main table, then each directory's list.
    QByteArray lists;
    QByteArray main;
    for (int d = 0; d < directories.size(); ++d) {
        const Directory &directory = directories.at(d);
        main += u32(quint32(8 * directories.size() + lists.size())) + u16(quint16(directory.firstId))
                + u16(quint16(d == 0 ? directories.size() : 0xF000 + directory.parent));
        for (const Item &item : directory.items) {
            const QByteArray name = item.name.toUtf8();
            if (item.file >= 0)
                lists += char(name.size()) + name;
            else
                lists += char(0x80 | name.size()) + name + u16(quint16(0xF000 + item.directory));
        }
        lists += '\0';
    }
    const QByteArray nameTable = main + lists;

    // Parts in order; `place` returns where one goes.
    const bool dsi = layout.unitCode == 2 || layout.unitCode == 3;
    qint64 end = dsi ? 0x1000 : 0x200;
    QList<std::pair<qint64, QByteArray>> parts;
    auto place = [&](const QByteArray &bytes) {
        const qint64 at = aligned(end, layout.alignment);
        parts.append({at, bytes});
        end = at + bytes.size();
        return at;
    };
    const qint64 arm9At = place(layout.arm9);
    QByteArray overlayTable;
    for (int i = 0; i < layout.overlays.size(); ++i) {
        overlayTable += u32(quint32(i)) + u32(0x02100000) + u32(quint32(layout.overlays.at(i).size())) + u32(0) + u32(0)
                        + u32(0) + u32(quint32(i)) + u32(0);
    }
    const qint64 overlayTableAt = layout.overlays.isEmpty() ? 0 : place(overlayTable);
    const int total = nextId;
    QList<std::pair<qint64, qint64>> spans(total); // per file id
    for (int i = 0; i < layout.overlays.size(); ++i) {
        const qint64 at = place(layout.overlays.at(i));
        spans[i] = {at, at + layout.overlays.at(i).size()};
    }
    const qint64 arm7At = place(layout.arm7);
    built.nameTableAt = place(nameTable);
    built.allocationTableAt = place(QByteArray(8 * total, '\0'));
    for (int n = 0; n < layout.files.size(); ++n) {
        const int f = layout.reversed ? int(layout.files.size()) - 1 - n : n;
        const qint64 at = place(layout.files.at(f).second);
        spans[fileIds.at(f)] = {at, at + layout.files.at(f).second.size()};
    }
    const qint64 used = end;
    const quint8 capacity = core::romCapacityFor(used, 0);
    qint64 size = layout.padded ? core::romChipBytes(capacity) : used;
    if (layout.dsiArm9At)
        size = qMax(size, layout.dsiArm9At + 0x100);

    QByteArray image(size, char(0xFF));
    image.replace(0, dsi ? 0x1000 : 0x200, QByteArray(dsi ? 0x1000 : 0x200, '\0'));
    for (const auto &[at, bytes] : std::as_const(parts))
        image.replace(at, bytes.size(), bytes);
    for (int id = 0; id < total; ++id) {
        put32(image, built.allocationTableAt + 8 * id, quint32(spans.at(id).first));
        put32(image, built.allocationTableAt + 8 * id + 4, quint32(spans.at(id).second));
    }
    image.replace(0x000, layout.title.size(), layout.title);
    image.replace(0x00C, 4, layout.gameCode.left(4));
    image.replace(0x010, 2, "00");
    image[0x012] = char(layout.unitCode);
    image[0x014] = char(capacity);
    const QList<std::pair<int, quint32>> fields{
        {0x020, quint32(arm9At)},
        {0x024, 0x02000000},
        {0x028, 0x02000000},
        {0x02C, quint32(layout.arm9.size())},
        {0x030, quint32(arm7At)},
        {0x034, 0x02380000},
        {0x038, 0x02380000},
        {0x03C, quint32(layout.arm7.size())},
        {0x040, quint32(built.nameTableAt)},
        {0x044, quint32(nameTable.size())},
        {0x048, quint32(built.allocationTableAt)},
        {0x04C, quint32(8 * total)},
        {0x050, quint32(overlayTableAt)},
        {0x054, quint32(overlayTable.size())},
        {0x080, quint32(used)},
        {0x084, quint32(arm9At)},
    };
    for (const auto &[at, value] : fields)
        put32(image, at, value);
    if (layout.dsiArm9At) {
        put16(image, 0x090, quint16(layout.dsiArm9At / 0x80000));
        put32(image, 0x1C0, quint32(layout.dsiArm9At));
        put32(image, 0x1CC, 0x100);
        image.replace(layout.dsiArm9At, 0x100, QByteArray(0x100, char(0xD5)));
    }
    put16(image, 0x15E, core::crc16Modbus(image.constData(), 0x15E));
    built.bytes = image;
    return built;
}

quint32 field32(const QByteArray &bytes, qint64 at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}
