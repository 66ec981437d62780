// Writes a small seed corpus for the fuzz targets into the directory given, one
// folder per target: <dir>/narc_reader, decode, compose, rom_reader, po_import,
// tree_text, replace and arguments.

#include "cli/commandline.h"
#include "fuzzing.h"
#include "narc/narcwriter.h"
#include "po/poexport.h"
#include "romfixture.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QStringEncoder>

#include <cstdio>

using namespace core;

namespace {

void appendU16(QByteArray &out, quint16 value)
{
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}

QByteArray messageFile(const QList<QStringList> &sections)
{
    const NarcEntry file = fuzzing::messageFile(sections);
    return QByteArray(file.constData(), file.size());
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

// PO files for the archive fuzz_po_import imports into: its template as
// exported, the same translated, and files that take every other path.
bool writePoSeeds(const QString &dir)
{
    const QString templatePath = dir + QStringLiteral("/template");
    fuzzing::CountingObserver observer;
    if (!exportToPoTemplate(fuzzing::poArchive(), QStringLiteral("fuzz.narc"), templatePath, FileIdentity(), observer)
             .finished)
        return false;
    QFile exported(templatePath);
    if (!exported.open(QIODevice::ReadOnly))
        return false;
    const QByteArray pot = exported.readAll();

    // Every message translated as its msgid with " (t)" after it; every other one fuzzy.
    QByteArray translated;
    QByteArray fuzzy;
    QByteArray msgid;
    int message = 0;
    for (const QByteArray &line : pot.split('\n')) {
        if (line.startsWith("msgid \"")) {
            msgid = line.mid(7, line.size() - 8);
        } else if (line == "msgstr \"\"" && !msgid.isEmpty()) {
            const QByteArray translation = "msgstr \"" + msgid + " (t)\"";
            translated += translation + '\n';
            fuzzy += (message++ % 2 ? "#, fuzzy\n" : "") + translation + '\n';
            msgid.clear();
            continue;
        }
        translated += line + '\n';
        fuzzy += line + '\n';
    }
    const QByteArray header = "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
    const auto entry = [](const char *context, const char *id, const char *str) {
        return QByteArray("msgctxt \"") + context + "\"\nmsgid \"" + id + "\"\nmsgstr \"" + str + "\"\n\n";
    };
    bool ok = writeSeed(dir, QStringLiteral("translated"), translated);
    ok &= writeSeed(dir, QStringLiteral("fuzzy"), fuzzy);
    ok &= writeSeed(
        dir, QStringLiteral("problems"),
        header + entry("0000/0000/0001", "Hello", "Hallo\\nWelt") + entry("0000/0000/0003", "stale", "x")
            + entry("0000/0001/0002", "x", "y\\000z") + entry("0009/0000/0001", "Hello", "H")
            + entry("0001/0000/0001", "One line \\\\xf000\\\\x0102\\\\x0003", "Eins \\\\xq")
            + entry("entry 1", "a", "b") + entry("0000/0002/0001", "Hello", "x") + entry("0003/0000/0001", "Hello", "x")
            + entry("0004/0000/0002", "b", "\\\\x000a") + "msgid \"no context\"\nmsgstr \"kein\"\n\n"
            + "msgctxt \"0004/0001/0001\"\nmsgid \"A\"\nmsgid_plural \"As\"\nmsgstr[0] \"x\"\nmsgstr[1] \"y\"\n\n"
            + "#~ msgctxt \"0004/0001/0002\"\n#~ msgid \"B\"\n#~ msgstr \"old\"\n");
    ok &= writeSeed(dir, QStringLiteral("twice"),
                    header + entry("0004/0000/0001", "a", "c") + entry("4/0/1", "c", "d")
                        + entry("0004/0002/0001", "\xc3\xa4", "\xc3\xa6"));
    ok &= writeSeed(dir, QStringLiteral("latin1"),
                    "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n\n"
                        + entry("0004/0002/0001", "\xe4", "\xe9"));
    ok &= writeSeed(dir, QStringLiteral("unknown-charset"),
                    "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=NO-SUCH\\n\"\n\n"
                        + entry("0004/0000/0001", "a", "b"));
    ok &= writeSeed(dir, QStringLiteral("not-po"), "msgid \"a\nmsgstr b\n\"\"\"\n");
    ok &= writeSeed(dir, QStringLiteral("duplicate"),
                    header + entry("0004/0000/0001", "a", "b") + entry("0004/0000/0001", "a", "c"));
    return ok;
}

// Inputs of fuzz_tree_text: a byte choosing entry and section, then the file.
bool writeTreeTextSeeds(const QString &dir)
{
    const auto seed = [&](const QString &name, char choice, const QByteArray &file) {
        return writeSeed(dir, name, choice + file);
    };
    const QString three = QStringLiteral("Hallo\n\n\\x000aWelt \u00e9\u3042\U0001F600\n");
    const auto encoded = [&](QStringConverter::Encoding encoding) {
        QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
        return QByteArray(encoder.encode(three));
    };
    bool ok = seed(QStringLiteral("utf8"), 0, three.toUtf8());
    ok &= seed(QStringLiteral("utf8-bom-kanji"), 4, "\xef\xbb\xbf" + three.toUtf8());
    ok &= seed(QStringLiteral("utf16le"), 0, encoded(QStringConverter::Utf16LE));
    ok &= seed(QStringLiteral("utf16be"), 4, encoded(QStringConverter::Utf16BE));
    ok &= seed(QStringLiteral("utf32le"), 0x10, encoded(QStringConverter::Utf32LE));
    ok &= seed(QStringLiteral("utf32be-pieces"), 0x70, encoded(QStringConverter::Utf32BE));
    ok &= seed(QStringLiteral("crlf"), 0, "a\r\nb\r\nc\r\n\r\n");
    ok &= seed(QStringLiteral("too-few"), 0, "a\nb");
    ok &= seed(QStringLiteral("too-many"), 1, "a\nb");
    ok &= seed(QStringLiteral("bad-escape"), 0, "a\\x00\nb\nc");
    ok &= seed(QStringLiteral("nul"), 0, QByteArray("a\0b\nc\nd", 7));
    ok &= seed(QStringLiteral("bom-less-utf16"), 0, QByteArray("a\0\n\0b\0\n\0c\0", 10));
    ok &= seed(QStringLiteral("invalid-utf8"), 1, "\xc3(\xff");
    ok &= seed(QStringLiteral("no-such-section"), 5, "x");
    ok &= seed(QStringLiteral("no-lines"), 2, "");
    ok &= seed(QStringLiteral("endless"), 8,
               "\xef\xbb\xbf"
               "abc\n");
    ok &= seed(QStringLiteral("long-line"), 1, QByteArray(3000, 'x'));
    return ok;
}

// Inputs of fuzz_replace: flags, the text to find, 0xFF, the replacement, 0xFF,
// then lines (0xFE ends one, 0xFD an entry), each byte a piece of text. A line
// given as {"|"} ends an entry instead.
QByteArray replaceInput(char flags, const QStringList &query, const QStringList &replacement,
                        const QList<QStringList> &lines)
{
    QByteArray out(1, flags);
    for (const QString &piece : query)
        out += fuzzing::replaceByte(piece);
    out += '\xff';
    for (const QString &piece : replacement)
        out += fuzzing::replaceByte(piece);
    out += '\xff';
    for (const QStringList &line : lines) {
        if (line == QStringList{QStringLiteral("|")}) {
            out += '\xfd';
            continue;
        }
        for (const QString &piece : line)
            out += fuzzing::replaceByte(piece);
        out += '\xfe';
    }
    return out;
}

bool writeReplaceSeeds(const QString &dir)
{
    const QList<QStringList> lines = {
        {"a", "\\x000a", "0", "0a", "b"},
        {"\\x005c", "x000a", "\\x0001"},
        {},
        {"|"},
        {"A", "\u03a3", "\u03c2", "\u00df", "\U00010400"},
        {"00", "\\xfffe", "{", "\\x007b"},
    };
    bool ok = writeSeed(dir, QStringLiteral("digit"), replaceInput(0, {"0"}, {"1"}, lines));
    ok &= writeSeed(dir, QStringLiteral("escape"), replaceInput(2, {"\\x000a"}, {"\\x0001"}, lines));
    ok &= writeSeed(dir, QStringLiteral("backslash"), replaceInput(4, {"\\x", "00"}, {"\\"}, lines));
    ok &= writeSeed(dir, QStringLiteral("fold"), replaceInput(1, {"\u03c3"}, {"a", "b"}, lines));
    ok &= writeSeed(dir, QStringLiteral("astral"), replaceInput(9, {"\U00010428"}, {}, lines));
    ok &= writeSeed(dir, QStringLiteral("across"), replaceInput(16, {"a", "b"}, {"x"}, lines));
    ok &= writeSeed(dir, QStringLiteral("line-break"), replaceInput(0, {"a"}, {"\n"}, lines));
    ok &= writeSeed(dir, QStringLiteral("empty"), replaceInput(0, {}, {"a"}, lines));
    return ok;
}

// narctext's command lines, NUL between arguments: each command with sensible
// arguments, and with the options it takes.
bool writeArgumentSeeds(const QString &dir)
{
    const auto join = [](const QStringList &arguments) { return arguments.join(QChar(0)).toUtf8(); };
    bool ok = true;
    ok &= writeSeed(dir, QStringLiteral("help"), "--help");
    ok &= writeSeed(dir, QStringLiteral("version"), "-V");
    ok &= writeSeed(dir, QStringLiteral("unknown"), join({"-q", "frobnicate", "a"}));
    for (const Command &command : commands()) {
        QStringList arguments{QLatin1String(command.name)};
        for (const Argument &argument : command.arguments) {
            switch (argument.kind) {
            case Argument::Path:
                arguments << (arguments.size() == 1 ? "a.narc" : "-");
                break;
            case Argument::Text:
                arguments << "\\x000a";
                break;
            case Argument::Replacement:
                arguments << "";
                break;
            case Argument::Entry:
                arguments << "0012";
                break;
            case Argument::Section:
                arguments << "1";
                break;
            }
        }
        const QString name = QLatin1String(command.name);
        ok &= writeSeed(dir, name, join(arguments));
        ok &= writeSeed(dir, name + QStringLiteral("-help"), join({name, "--help"}));
        QStringList options = arguments;
        options.insert(1, "-q");
        if (command.takes(OutputOption))
            options << "-o"
                    << "out.narc";
        if (command.takes(IgnoreCaseOption))
            options << "-i";
        if (command.takes(ForceOption))
            options << "--force";
        if (command.takes(WidthOption))
            options << "--width"
                    << "32";
        if (command.takes(BreakOption))
            options << "--break"
                    << "\\x000a\\xfffe";
        if (command.takes(ReferenceOption))
            options << "--reference=orig.narc";
        if (command.takes(StrictOption))
            options << "--strict";
        if (command.takes(StatOption))
            options << "--stat";
        if (command.takes(DryRunOption))
            options << "-n";
        if (command.arguments.size() > 1) {
            options.insert(options.size() - 1, "--");
            options.last() = "-x";
        }
        ok &= writeSeed(dir, name + QStringLiteral("-options"), join(options));
    }
    return ok;
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
    for (const char *name :
         {"narc_reader", "decode", "compose", "rom_reader", "po_import", "tree_text", "replace", "arguments"})
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
    ok &= writePoSeeds(root + QStringLiteral("/po_import"));
    ok &= writeTreeTextSeeds(root + QStringLiteral("/tree_text"));
    ok &= writeReplaceSeeds(root + QStringLiteral("/replace"));
    ok &= writeArgumentSeeds(root + QStringLiteral("/arguments"));
    if (!ok) {
        std::fprintf(stderr, "fuzz_seeds: cannot write the corpus\n");
        return 1;
    }
    return 0;
}
