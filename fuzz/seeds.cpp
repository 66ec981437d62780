// Writes a small seed corpus for the fuzz targets into the directory given:
// <dir>/narc_reader, <dir>/decode, <dir>/compose and <dir>/rom_reader.

#include "codec/messagefile.h"
#include "narc/narcwriter.h"
#include "romfixture.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <cstdio>

using namespace core;

namespace {

void appendU16(QByteArray &out, quint16 value)
{
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}

// A message file whose sections hold `sections`, every line keyed by its index.
QByteArray messageFile(const QList<QStringList> &sections)
{
    const qsizetype lineCount = sections.isEmpty() ? 0 : sections.first().size();
    QList<quint16> keys;
    QList<quint16> attributes;
    for (int i = 0; i < lineCount; ++i) {
        keys.append(quint16(0x1234 + 77 * i));
        attributes.append(quint16(i % 3));
    }
    const Result<NarcEntry> file =
        newMessageFile(sections, QList<QList<quint16>>(sections.size(), keys),
                       QList<QList<quint16>>(sections.size(), attributes));
    return QByteArray(file.value.constData(), file.value.size());
}

QByteArray archive(const QList<QByteArray> &entries)
{
    Narc narc = newNarc();
    for (const QByteArray &entry : entries)
        narc.files.append(NarcEntry(entry.constData(), entry.constData() + entry.size()));
    narc.fileCount = quint32(narc.files.size());
    return serializeNarc(narc);
}

QByteArray composeInput(const QByteArray &entry, const QString &text)
{
    QByteArray out;
    appendU16(out, quint16(entry.size()));
    out.append(entry);
    for (QChar c : text)
        appendU16(out, c.unicode());
    return out;
}

bool writeSeed(const QString &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir + QLatin1Char('/') + name);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QString escapes = QStringLiteral("a\\x000a\\xfffe\\x005c\\xffff\\xd800b");
    const QList<QByteArray> messages = {
        messageFile({{QStringLiteral("hello"), QString(), QStringLiteral("abc")}}),
        messageFile({{QStringLiteral("ab"), QString()}, {QStringLiteral("x"), QStringLiteral("yz")}}),
        messageFile({{escapes, QStringLiteral("\u3042\u3044\u3046")}, {QStringLiteral("\u6f22\u5b57"), QString()}}),
        messageFile({{QStringLiteral("one")}, {QStringLiteral("two")}, {QStringLiteral("three")}}),
        messageFile({{}}),
    };

    bool ok = true;
    for (const char *name : {"narc_reader", "decode", "compose", "rom_reader"})
        ok &= QDir(root).mkpath(QString::fromLatin1(name));
    ok &= writeSeed(root + QStringLiteral("/narc_reader"), QStringLiteral("empty"), archive({}));
    ok &= writeSeed(root + QStringLiteral("/narc_reader"), QStringLiteral("messages"), archive(messages));
    ok &= writeSeed(root + QStringLiteral("/narc_reader"), QStringLiteral("odd"), archive({"abcde", "", "xy"}));
    for (int i = 0; i < messages.size(); ++i) {
        ok &= writeSeed(root + QStringLiteral("/decode"), QStringLiteral("message%1").arg(i), messages[i]);
        ok &= writeSeed(root + QStringLiteral("/compose"), QStringLiteral("message%1").arg(i),
                        composeInput(messages[i], QStringLiteral("new\nlines\r\nhere\\x0001")));
    }
    // ROM images packed tight (aligned to 4), so that they stay small.
    RomLayout rom;
    rom.alignment = 4;
    rom.arm9 = rom.arm7 = "code";
    ok &= writeSeed(root + QStringLiteral("/rom_reader"), QStringLiteral("no-files"), buildRomImage(rom).bytes);
    rom.overlays = {"overlay0", "overlay1"};
    rom.files = {{QStringLiteral("a.bin"), "abc"},
                 {QStringLiteral("data/msg/one.narc"), archive({"abcde", "", "xy"})},
                 {QStringLiteral("data/two"), "22"},
                 {QStringLiteral("data/msg/deep/three"), "333"},
                 {QStringLiteral("empty"), ""},
                 {QStringLiteral("\u540d\u524d/\u30d5\u30a1\u30a4\u30eb"), "utf-8 names"}};
    ok &= writeSeed(root + QStringLiteral("/rom_reader"), QStringLiteral("nested"), buildRomImage(rom).bytes);
    rom.reversed = true;
    rom.unitCode = 2;
    ok &= writeSeed(root + QStringLiteral("/rom_reader"), QStringLiteral("reversed-dsi"), buildRomImage(rom).bytes);
    if (!ok) {
        std::fprintf(stderr, "fuzz_seeds: cannot write the corpus\n");
        return 1;
    }
    return 0;
}
