// Writes samples/demo.narc, the small archive to try the editor and narctext on:
//
//     makedemo samples/demo.narc
//
// Every byte follows from the text below, so running it again gives the same file.

#include "codec/decode.h"
#include "codec/messagefile.h"
#include "narc/narcfile.h"
#include "narc/narcreader.h"
#include "narc/narcwriter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

using namespace core;

namespace {

// Lines are written in the editor's escaped form: "\x" and four lowercase hex
// digits for control units and the backslash.
using Section = QStringList;
using MessageFile = QList<Section>;

QList<MessageFile> demoText()
{
    QList<MessageFile> files;

    // 0: two sections, hiragana and kanji.
    files.append({
        {QStringLiteral("こんにちは！"), QStringLiteral("きょうは いい てんき ですね。"),
         QStringLiteral("さあ たびに でかけよう！"), QStringLiteral("またね。")},
        {QStringLiteral("今日は！"), QStringLiteral("今日は 良い 天気 ですね。"),
         QStringLiteral("さあ 旅に 出かけよう！"), QStringLiteral("またね。")},
    });

    // 1: one section with control units and backslashes.
    files.append({{
        QStringLiteral("Welcome to the demo archive."),
        QStringLiteral("First line\\x000asecond line of the same message."),
        QStringLiteral("\\xfffe\\x0001\\x0000Name\\xfffe: a control marker with arguments."),
        QStringLiteral("A path: C:\\x005cgames\\x005csave.dat"),
        QStringLiteral("Press the button\\xfffe"),
    }});

    // 2: two sections with a marker before the text.
    files.append({
        {QStringLiteral("\\xfffe\\x0000なまえを いれてください。"), QStringLiteral("はい\\x000aいいえ"),
         QStringLiteral("")},
        {QStringLiteral("\\xfffe\\x0000名前を 入れて下さい。"), QStringLiteral("はい\\x000aいいえ"),
         QStringLiteral("")},
    });

    // 3: one long section.
    Section longSection;
    for (int i = 1; i <= 100; ++i) {
        QString line = QStringLiteral("Line %1 of 100").arg(i, 3, 10, QLatin1Char('0'));
        if (i % 10 == 0)
            line += QStringLiteral(" — ここで ひとやすみ。");
        else if (i % 7 == 0)
            line += QStringLiteral("\\x000awith a second row");
        else if (i % 3 == 0)
            line += QStringLiteral(": the quick brown fox jumps over the lazy dog.");
        longSection.append(line);
    }
    files.append({longSection});

    // 4: one section, short lines, one of them empty.
    files.append({{QStringLiteral("Yes"), QStringLiteral("No"), QStringLiteral(""), QStringLiteral("Maybe later")}});

    // 5: two sections of one line each.
    files.append({{QStringLiteral("ひみつの ばしょ")}, {QStringLiteral("秘密の 場所")}});

    return files;
}

quint16 lineKey(int entry, int section, int line)
{
    return quint16(0x5A3C + 0x0F1D * entry + 0x0101 * section + 0x01D3 * line);
}

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "makedemo: %s\n", qPrintable(message));
    std::exit(1);
}

// A message file of the given sections, every line keyed by its place.
NarcEntry buildMessageFile(const MessageFile &sections, int entry)
{
    QList<QList<quint16>> keys;
    for (int s = 0; s < sections.size(); ++s) {
        keys.append(QList<quint16>());
        for (int i = 0; i < sections.first().size(); ++i)
            keys.last().append(lineKey(entry, s, i));
    }
    const Result<NarcEntry> file = newMessageFile(sections, keys);
    if (!file.ok())
        fail(QStringLiteral("entry %1: %2").arg(entry).arg(file.reason));
    return file.value;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes the demo archive (samples/demo.narc) to OUTPUT."));
    const QCommandLineOption help = parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("OUTPUT"), QStringLiteral("The archive to write."));
    const bool parsed = parser.parse(QCoreApplication::arguments());
    if (parsed && parser.isSet(help)) {
        const QByteArray usage = parser.helpText().toUtf8();
        const bool written = std::fwrite(usage.constData(), 1, size_t(usage.size()), stdout) == size_t(usage.size());
        return std::fflush(stdout) == 0 && written ? 0 : 2;
    }
    if (!parsed || parser.positionalArguments().size() != 1) {
        std::fprintf(stderr, "makedemo: %s\nusage: makedemo OUTPUT\n",
                     parsed ? "one OUTPUT needed" : qPrintable(parser.errorText()));
        return 2;
    }
    const QStringList arguments{QString(), parser.positionalArguments().first()};

    const QList<MessageFile> text = demoText();
    QList<NarcEntry> entries;
    for (int e = 0; e < text.size(); ++e)
        entries.append(buildMessageFile(text.at(e), e));
    Narc narc = newNarc();
    narc.files = entries;
    narc.fileCount = quint32(entries.size());

    // The archive must read back, and every section must decode to the text it
    // was made from (so the text above is written in the editor's own form).
    Narc copy = narc;
    const Result<Narc> read = readNarc(serializeNarc(copy));
    if (!read.ok())
        fail(QStringLiteral("the archive does not read back: ") + read.reason);
    for (int e = 0; e < text.size(); ++e) {
        for (int s = 0; s < text.at(e).size(); ++s) {
            const DecodedSection decoded = decodeMessageSection(read.value.files.at(e), s);
            for (int i = 0; i < text.at(e).at(s).size(); ++i) {
                const QString back = i < decoded.lines.size() ? decoded.lines.at(i) : decoded.reason;
                if (back != text.at(e).at(s).at(i))
                    fail(QStringLiteral("entry %1 section %2 line %3 decodes to %4").arg(e).arg(s).arg(i).arg(back));
            }
        }
    }

    const Status saved = saveNarcFile(narc, arguments.at(1));
    if (!saved)
        fail(QStringLiteral("cannot write %1: %2").arg(arguments.at(1), saved.reason));
    return 0;
}
