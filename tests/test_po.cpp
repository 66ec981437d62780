// Translators' interchange: PO templates out, translated PO files in, checked
// against gettext's own tools (msgfmt, msgen, msgfilter, msgconv).

#include "codec/decode.h"
#include "codec/messageheader.h"
#include "corefixture.h"
#include "filesizelimit.h"
#include "messagefixture.h"
#include "narc/narcfile.h"
#include "narc/narcwriter.h"
#include "narcfixture.h"
#include "po/poexport.h"
#include "po/poimport.h"
#include "process.h"
#include "rows.h"

#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>
#include <unistd.h>

using namespace core;

namespace {

// A message file of these sections (literal text, no escapes parsed).
NarcEntry messageFile(const QList<QStringList> &sections)
{
    return buildMessageFile(sections);
}
QString unit(ushort value)
{
    return QString(QChar(value));
}

// The archive the import cases work on. Entry 0 has two sections of four lines,
// entry 1 one section of two.
Narc importArchive()
{
    return archiveOf({messageFile({{"Hello", "World", "", "Bye"},
                                   {"漢字", "Name" + unit(1), "x" + unit(1) + unit(0xfffe), "y"}}),
                      messageFile({{"Solo", "Duo"}})});
}

// Every line of every section as "entry/section/line text", lines from 1.
QStringList allLines(const Narc &narc)
{
    QStringList lines;
    for (int e = 0; e < narc.files.size(); ++e) {
        const MessageHeaderRead head = readMessageHeader(narc.files.at(e));
        for (int s = 0; head.ok() && s < head.header.sectionCount; ++s) {
            const QStringList section = decodeMessageSection(narc.files.at(e), s).lines;
            for (int l = 0; l < section.size(); ++l)
                lines.append(QStringLiteral("%1/%2/%3 ").arg(e).arg(s).arg(l + 1) + section.at(l));
        }
    }
    return lines;
}

QString tool(const char *name)
{
    return QStandardPaths::findExecutable(QLatin1String(name));
}

} // namespace

class TestPo : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;
    QString path(const QString &name) const { return dir->filePath(name); }

    // Exports `narc` to `name` in the test directory; fails the test on failure.
    QString exportTemplate(const Narc &narc, const QString &name)
    {
        Reports log;
        const QString file = path(name);
        const BulkSummary summary = exportToPoTemplate(narc, path("game.narc"), file,
                                                       identifyPath(path("game.narc")).value, log);
        if (summary.outcome() != Outcome::Done)
            qWarning() << log.lines;
        return file;
    }

    // Runs a gettext tool; the test fails when it does.
    bool gettext(const char *name, const QStringList &arguments)
    {
        const Run result = runProgram(tool(name), arguments);
        if (result.code != 0)
            qWarning() << name << arguments << result.code << result.err;
        return result.code == 0;
    }

    // Imports `poFile` into `narc`, returning the report with the file's path shown as FILE.
    QStringList importReport(Narc &narc, const QString &poFile, PoImportSummary *summary = nullptr,
                             const PoImportOptions &options = {})
    {
        Reports log;
        const PoImportSummary result = importFromPo(narc, poFile, log, options);
        if (summary)
            *summary = result;
        return log.lines.replaceInStrings(poFile, QStringLiteral("FILE"));
    }

private slots:
    void initTestCase()
    {
        for (const char *name : {"msgfmt", "msgen", "msgfilter", "msgconv"})
            QVERIFY2(!tool(name).isEmpty(), qPrintable(QStringLiteral("gettext's %1 is needed").arg(name)));
    }

    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
    }

    // The whole template of a small archive (tests/golden/layout.pot): header,
    // contexts, comments naming the place and the escapes, empty lines left out,
    // entries that are not message files reported.
    void templateLayout()
    {
        const Narc narc = archiveOf({messageFile({{"Hello", "", "Ctrl" + unit(1) + "x\\"},
                                                  {"漢字", QString(90, 'w') + " DEL" + unit(0x7F) + " ESC" + unit(0x1B),
                                                   ""}}),
                                     NarcEntry(), messageFile({{""}, {""}, {"c \"quoted\""}}), NarcEntry(8, '\x01')});
        Reports log;
        const QString file = path("t.pot");
        const BulkSummary summary = exportToPoTemplate(narc, "/somewhere/game.narc", file, FileIdentity(), log);
        QVERIFY(summary.finished);
        QCOMPARE(summary.sectionsUnreadable, 1);
        QCOMPARE(log.lines, QStringList({"Exporting to PO template " + file,
                                         "Cannot decode entry 3: the header is cut short (8 bytes, at least 12 needed)",
                                         "Finished exporting 5 messages to PO template " + file}));

        // Long lines stay whole; control characters are escaped.
        QCOMPARE(readFileBytes(file), readFileBytes(QFINDTESTDATA("golden/layout.pot")));
    }

    // Archives through gettext's tools and back. msgfmt --check accepts the
    // template (its only remarks are about the header fields a translator fills
    // in); msgen fills every msgstr with its msgid and the import gives the
    // archive back byte for byte. Then every line is changed through msgfilter
    // and imported: every section is composed again with its new text.
    void roundTrips_data()
    {
        QTest::addColumn<QList<NarcEntry>>("entries");
        row("small", QList<NarcEntry>{messageFile({{"Hello", "", "Ctrl" + unit(1) + "\\x"}, {"漢字", "b\"c", "\\"}}),
                                      messageFile({{"one"}})});
        // Lines of any units, drawing often those the escapes exist for.
        QRandomGenerator random(1);
        QList<NarcEntry> entries;
        for (int i = 0; i < 120; ++i) {
            QList<FixtureSection> sections = randomSections(random, 1 + random.bounded(2), 6, 40);
            // A section's last line ending in unit 0xFFFF reads back as padding
            // once the section is composed with another length (a limit of the
            // message format the codec lives with), so no line ends in one here.
            for (FixtureSection &section : sections) {
                for (FixtureLine &line : section) {
                    if (!line.units.isEmpty() && line.units.last() == 0xFFFF)
                        line.units.last() = 0x0041;
                }
            }
            entries.append(buildMessageFile(sections));
        }
        row("random", entries);
        // More entries than the template is written in at once (each piece once:
        // msgfmt refuses a message defined twice), and five-digit entry numbers.
        QList<NarcEntry> many(10001, messageFile({{"a line"}}));
        many[0] = messageFile({{"first"}});
        many[600] = messageFile({{"middle", "line"}});
        many[10000] = messageFile({{"last"}});
        row("10001 entries", many);
    }

    void roundTrips()
    {
        QFETCH(QList<NarcEntry>, entries);
        const Narc original = archiveOf(entries);
        const QString pot = exportTemplate(original, "t.pot");
        const Run check = runProgram(tool("msgfmt"), {"--check", "-o", "/dev/null", pot});
        QCOMPARE(check.code, 0);
        for (const QByteArray &line : check.err.split('\n'))
            QVERIFY2(line.isEmpty() || line.contains("header field"), line.constData());

        QVERIFY(gettext("msgen", {"-o", path("en.po"), pot}));
        Narc narc = original;
        PoImportSummary summary;
        const QStringList report = importReport(narc, path("en.po"), &summary);
        QVERIFY2(summary.outcome() == Outcome::Done && summary.untranslated == 0, qPrintable(report.join('\n')));
        QCOMPARE(narc.files, original.files);

        // Every line gets a prefix.
        QVERIFY(gettext("msgfilter",
                        {"--keep-header", "-i", path("en.po"), "-o", path("x.po"), "sed", "-e", "s/^/X/"}));
        importReport(narc, path("x.po"), &summary);
        QCOMPARE(summary.outcome(), Outcome::Done);
        QVERIFY(summary.applied == 0 || summary.sectionsChanged > 0);
        QStringList expected = allLines(original);
        for (QString &line : expected) {
            const qsizetype space = line.indexOf(' ');
            if (space + 1 < line.size())
                line.insert(space + 1, 'X');
        }
        QCOMPARE(allLines(narc), expected);
    }

    // A row named "..., --strict" imports so.
    void imports_data()
    {
        QTest::addColumn<QByteArray>("po");
        QTest::addColumn<QStringList>("reports"); // after the opening line
        QTest::addColumn<QStringList>("changes"); // "e/s/l text" lines that differ afterwards

        const auto finished = [](int applied, int skipped, int untranslated, int fuzzy, int escapes = 0) {
            return QString::asprintf(
                       "Finished importing translations from FILE: %d applied, %d skipped, "
                       "%d untranslated, %d fuzzy",
                       applied, skipped, untranslated, fuzzy)
                   + (escapes ? QString::asprintf(", %d with changed escapes", escapes) : QString());
        };
        const QByteArray hallo = poMessage("0000/0000/0001", "Hello", "Hallo");
        row("applied, fuzzy, untranslated",
            hallo + "# note\n#. x\n#, fuzzy\n#: a.c:1\n" + poMessage("0000/0000/0002", "World", "Welt")
                + poMessage("0000/0000/0004", "Bye", "")
                + "#~ msgctxt \"0000/0000/0004\"\n#~ msgid \"Good bye\"\n#~ msgstr \"Tschüss\"\n",
            QStringList{finished(1, 0, 1, 1)}, QStringList{"0/0/1 Hallo"});
        // A line that already reads as its translation (imported before) is not stale.
        row("stale msgid",
            poMessage("0000/0000/0002", "Wrold", "Welt") + hallo + poMessage("0001/0000/0001", "Alone", "Solo"),
            QStringList{
                "Skipping 0000/0000/0002 (entry 0, Hiragana, line 2): the msgid no longer matches the line (its source changed since the export)",
                finished(2, 1, 0, 0)},
            QStringList{"0/0/1 Hallo"});
        // Reported in archive order whatever the file's order; messages that name
        // no place at all first, in file order. A fourth field, a ':' (the
        // character after '9'), an empty field or one of ten digits is no
        // context; lines count from 1.
        row("contexts naming no line",
            poMessage("0002/0000/0001", "a", "b") + poMessage("0001/0000/0003", "a", "b")
                + "msgid \"No context\"\nmsgstr \"b\"\n\n" + poMessage("0001/0001/0001", "a", "b")
                + poMessage("entry 1", "a", "b") + poMessage("0001/0000/0002", "Duo", "Zwei")
                + poMessage("0001/0000/0001/5", "Solo", "b") + poMessage("0001/0000/000:", "Solo", "b")
                + poMessage("0001/0000/0000", "Solo", "b") + poMessage("0001//0001", "Solo", "b")
                + poMessage("0000000001/0000/0001", "Solo", "b"),
            QStringList{"Skipping msgid \"No context\": it has no msgctxt naming its line",
                        "Skipping msgctxt \"entry 1\": it names no line (entry/section/line)",
                        "Skipping msgctxt \"0001/0000/0001/5\": it names no line (entry/section/line)",
                        "Skipping msgctxt \"0001/0000/000:\": it names no line (entry/section/line)",
                        "Skipping msgctxt \"0001//0001\": it names no line (entry/section/line)",
                        "Skipping msgctxt \"0000000001/0000/0001\": it names no line (entry/section/line)",
                        "Skipping 0001/0000/0000 (entry 1, Hiragana, line 0): section 0 of entry 1 has no line 0",
                        "Skipping 0001/0000/0003 (entry 1, Hiragana, line 3): section 0 of entry 1 has no line 3",
                        "Skipping 0001/0001/0001 (entry 1, Kanji, line 1): entry 1 has no section 1",
                        "Skipping 0002/0000/0001 (entry 2, Hiragana, line 1): the archive has no entry 2",
                        finished(1, 10, 0, 0)},
            QStringList{"1/0/2 Zwei"});
        // Each message is taken or left on its own: one that cannot be stored is
        // named, the others of its section go in.
        row("line breaks and plural forms",
            poMessage("0000/0000/0001", "Hello", "Hal\\nlo") + poMessage("0000/0000/0002", "World", "We\\rlt")
                + poMessage("0000/0000/0004", "Bye", "Ciao")
                + "msgctxt \"0001/0000/0001\"\nmsgid \"Solo\"\nmsgid_plural \"Solos\"\nmsgstr[0] \"S\"\nmsgstr[1] \"P\"\n",
            QStringList{"Skipping 0000/0000/0001 (entry 0, Hiragana, line 1): the translation holds a line break",
                        "Skipping 0000/0000/0002 (entry 0, Hiragana, line 2): the translation holds a line break",
                        "Skipping 0001/0000/0001 (entry 1, Hiragana, line 1): it has plural forms",
                        finished(1, 3, 0, 0)},
            QStringList{"0/0/4 Ciao"});
        const QByteArray longest(65534, 'a');
        // The longest line that fits, as the last of a section whose units are odd
        // in number: the padding unit makes it one too long, so the section is
        // composed again without it.
        row("a last line that the padding makes too long",
            poMessage("0001/0000/0001", "Solo", "Sol") + poMessage("0001/0000/0002", "Duo", longest.constData()),
            QStringList{
                "Skipping 0001/0000/0002 (entry 1, Hiragana, line 2): the translation is too long (65536 units, at most 65535)",
                finished(1, 1, 0, 0)},
            QStringList{"1/0/1 Sol"});
        // Control escapes kept as the source has them are no change to check; a
        // unit written as an escape that shows as itself ("\x002c" is ",") is
        // none: the line reads as the translation, and as a msgid written so.
        row("escapes kept",
            poMessage("0000/0001/0002", "Name\\\\x0001", "Nom\\\\x0001")
                + poMessage("0000/0001/0003", "x\\\\x0001\\\\xfffe", "\\\\x0001\\\\xFFFE\\\\x0041")
                + poMessage("0000/0000/0001", "Hello", "Hallo\\\\x002c")
                + poMessage("0001/0000/0001", "S\\\\x006flo", "Solo!"),
            QStringList{finished(4, 0, 0, 0)},
            QStringList{"0/0/1 Hallo,", "0/1/2 Nom\\x0001", "0/1/3 \\x0001\\xfffeA", "1/0/1 Solo!"});
        // Control escapes that differ from the source's: applied with a line to
        // check, counted.
        row("escapes added and reordered",
            poMessage("0000/0001/0002", "Name\\\\x0001", "Nom\\\\x0001\\\\xfffe")
                + poMessage("0000/0001/0003", "x\\\\x0001\\\\xfffe", "\\\\xfffe\\\\x0001y")
                + poMessage("0001/0000/0001", "Solo", "Solo\\\\x0001") + poMessage("0000/0000/0001", "Hello", "Hallo"),
            QStringList{
                "Check 0000/0001/0002 (entry 0, Kanji, line 2): escapes differ from the source: added \\xfffe",
                "Check 0000/0001/0003 (entry 0, Kanji, line 3): escapes differ from the source: in another order: \\xfffe \\x0001, the source has \\x0001 \\xfffe",
                "Check 0001/0000/0001 (entry 1, Hiragana, line 1): escapes differ from the source: added \\x0001",
                finished(4, 0, 0, 0, 3)},
            QStringList{"0/0/1 Hallo", "0/1/2 Nom\\x0001\\xfffe", "0/1/3 \\xfffe\\x0001y", "1/0/1 Solo\\x0001"});
        row("escapes changed, --strict",
            poMessage("0000/0001/0002", "Name\\\\x0001", "Nom")
                + poMessage("0000/0001/0003", "x\\\\x0001\\\\xfffe", "\\\\xfffe\\\\x0001y")
                + poMessage("0000/0001/0004", "y", "z"),
            QStringList{
                "Skipping 0000/0001/0002 (entry 0, Kanji, line 2): escapes differ from the source: missing \\x0001",
                "Skipping 0000/0001/0003 (entry 0, Kanji, line 3): escapes differ from the source: in another order: \\xfffe \\x0001, the source has \\x0001 \\xfffe",
                finished(1, 2, 0, 0, 2)},
            QStringList{"0/1/4 z"});
        // gettext cuts a string at U+0000 (a raw byte, \000 or \x00): such a
        // message is refused, never applied cut short.
        row("U+0000 in a translation",
            hallo + poMessage("0000/0000/0002", "World", "We\\000lt")
                + poMessage("0000/0000/0004", "Bye", "Ci@ao").replace('@', '\0') + "#. \\x00\n"
                + poMessage("0001/0000/0001", "Solo", "S\\x00olo")
                + poMessage("0001/0000/0002", "Duo", "Z\\\\x0041wei"),
            QStringList{
                "Skipping 0000/0000/0002 (entry 0, Hiragana, line 2): it holds the character U+0000, which no text of the archive can",
                "Skipping 0000/0000/0004 (entry 0, Hiragana, line 4): it holds the character U+0000, which no text of the archive can",
                "Skipping 0001/0000/0001 (entry 1, Hiragana, line 1): it holds the character U+0000, which no text of the archive can",
                finished(2, 3, 0, 0)},
            QStringList{"0/0/1 Hallo", "1/0/2 ZAwei"});
        // Contexts are read whatever their padding; a second message for one line
        // is not applied.
        row("one line twice", hallo + poMessage("0/0/1", "Hello", "Salut"),
            QStringList{"Skipping 0/0/1 (entry 0, Hiragana, line 1): an earlier message translates the same line",
                        finished(1, 1, 0, 0)},
            QStringList{"0/0/1 Hallo"});
        // A file that is not valid PO, or cannot be read, is refused with gettext's
        // own reports and changes nothing, also the valid messages in it. A file
        // starting with a header is taken as it is; "<directory>" and "<missing>"
        // are no files.
        const QString invalid = "Failed to import translations from FILE: it is not a valid PO file";
        row("syntax error", hallo + "msgid garbage\nmsgstr \"x\"\n",
            QStringList{invalid, "FILE:9: keyword \"garbage\" unknown", "FILE:9:1: syntax error"}, QStringList());
        row("not UTF-8 as declared", hallo + "msgctxt \"0000/0000/0002\"\nmsgid \"World\"\nmsgstr \"W\xe9lt\"\n",
            QStringList{invalid, "FILE:11:10: invalid multibyte sequence"}, QStringList());
        row("unknown character set",
            "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=NO-SUCH-SET\\n\"\n\n" + hallo,
            QStringList{"Failed to import translations from FILE: the character set \"NO-SUCH-SET\" its header "
                        "declares is not known"},
            QStringList());
        row("directory", QByteArray("<directory>"),
            QStringList{"Failed to import translations from FILE: it is a directory"}, QStringList());
        row("missing", QByteArray("<missing>"),
            QStringList{"Failed to import translations from FILE: No such file or directory"}, QStringList());
    }

    void imports()
    {
        QFETCH(QByteArray, po);
        QFETCH(QStringList, reports);
        QFETCH(QStringList, changes);
        const bool strict = QByteArray(QTest::currentDataTag()).endsWith("--strict");
        if (po == "<directory>")
            QVERIFY(QDir().mkdir(path("in.po")));
        else if (po != "<missing>")
            QVERIFY(writeFileBytes(path("in.po"), po.startsWith("msgid \"\"") ? po : poUtf8Header + po));
        Narc narc = importArchive();
        const Narc before = narc;

        PoImportSummary summary;
        QStringList report = importReport(narc, path("in.po"), &summary, {strict, {}});
        QCOMPARE(report.takeFirst(), QString("Importing translations from FILE"));
        QCOMPARE(report.join('\n'), reports.join('\n'));
        QCOMPARE(summary.outcome() == Outcome::Refused, reports.first().startsWith("Failed"));

        QStringList expected = allLines(before);
        QSet<QString> sections; // those a changed line is in
        for (const QString &change : changes) {
            sections.insert(change.section('/', 0, 1));
            const QString place = change.left(change.indexOf(' ') + 1);
            for (QString &line : expected) {
                if (line.startsWith(place))
                    line = change;
            }
        }
        QCOMPARE(allLines(narc), expected);
        QCOMPARE(summary.sectionsChanged, int(sections.size()));
        // Importing the file again finds every translation in place: the same
        // report, and nothing changes.
        const Narc once = narc;
        PoImportSummary again;
        report = importReport(narc, path("in.po"), &again, {strict, {}});
        report.removeFirst();
        QCOMPARE(report.join('\n'), reports.join('\n'));
        QCOMPARE(again.sectionsChanged, 0);
        QCOMPARE(narc.files, once.files);
    }

    // A translation saved in another character set, declared in its header
    // (msgconv converts the file and rewrites the header), imports as the same text.
    // Shift_JIS has backslash bytes inside characters (表 is 0x95 0x5C).
    void otherCharacterSets()
    {
        Narc narc = archiveOf({messageFile({{"漢字", "Other"}})});
        QVERIFY(writeFileBytes(path("utf8.po"), poUtf8Header + poMessage("0000/0000/0001", "漢字", "表示する")));
        QVERIFY(gettext("msgconv", {"-t", "SHIFT_JIS", "-o", path("other.po"), path("utf8.po")}));
        const QByteArray converted = readFileBytes(path("other.po"));
        QVERIFY(converted.contains("charset=SHIFT_JIS") && !converted.contains("表示する"));

        PoImportSummary summary;
        const QStringList report = importReport(narc, path("other.po"), &summary);
        QVERIFY2(summary.applied == 1 && summary.outcome() == Outcome::Done, qPrintable(report.join('\n')));
        QCOMPARE(allLines(narc), QStringList({"0/0/1 表示する", "0/0/2 Other"}));
    }

    // The template replaces an existing file only once it is complete.
    void exportFailures_data()
    {
        QTest::addColumn<QString>("target"); // relative to the test directory
        QTest::addColumn<QString>("reason");
        row("the archive itself", "game.narc", "it is the archive being edited");
        row("a directory", "dir.pot", "Is a directory");
        row("writes cut short", "LIMIT old.pot", "File too large");
    }

    void exportFailures()
    {
        QFETCH(QString, target);
        QFETCH(QString, reason);
        const bool limited = target.startsWith("LIMIT ");
        const QString file = path(target.mid(limited ? 6 : 0));
        Narc narc = importArchive();
        for (int i = 0; i < 50; ++i)
            narc.files.append(messageFile({{QString("line %1 of some length").arg(i)}}));
        narc.fileCount = quint32(narc.files.size());
        QVERIFY(saveNarcFile(narc, path("game.narc")).ok());
        QVERIFY(QDir().mkdir(path("dir.pot")));
        QVERIFY(writeFileBytes(path("old.pot"), "old"));
        const QByteArray before = readFileBytes(file);

        Reports log;
        BulkSummary summary;
        {
            std::unique_ptr<FileSizeLimit> limit(limited ? new FileSizeLimit(2000) : nullptr);
            summary = exportToPoTemplate(narc, path("game.narc"), file, identifyPath(path("game.narc")).value, log);
        }
        // Over the archive nothing is begun: the run is refused.
        QVERIFY(!summary.finished);
        QCOMPARE(summary.outcome(), target == "game.narc" ? Outcome::Refused : Outcome::DoneWithSkips);
        QCOMPARE(log.lines.last(), "Failed to export to PO template " + file + ": " + reason);
        QCOMPARE(readFileBytes(file), before);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden).size(), 2); // no leftovers
    }

    // Memory that cannot be had, wherever it runs out (reading the file, inside
    // gettext's library, applying): "not enough memory", status 2, nothing
    // written; never an abort, and never gettext ending the program itself.
    void outOfMemory()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer reserves more address space than the limits allow");
#endif
        Narc narc = importArchive();
        QVERIFY(saveNarcFile(narc, path("game.narc")).ok());
        QByteArray po = poUtf8Header;
        for (int i = 1; i <= 40000; ++i)
            po += poMessage(QByteArray::number(i).prepend("0000/0000/").constData(), "Hello there, a line", "");
        QVERIFY(writeFileBytes(path("big.po"), po));
        int outcomes = 0; // 1: refused, 2: imported; both must be seen
        for (int mib = 56; mib <= 160; mib += 8) {
            RunSetup setup;
            setup.memoryLimit = quint64(mib) << 20;
            setup.timeoutMs = 60000;
            const Run run = narctext({"import-po", path("game.narc"), path("big.po"), "-o", path("out.narc")}, setup);
            if (run.err.contains("error while loading shared libraries"))
                continue; // too little to start at all
            const bool refused = run.code == 2 && run.err.endsWith(": not enough memory\n");
            QVERIFY2(refused || (run.code == 0 && run.err.contains("0 applied, 0 skipped, 40000 untranslated")),
                     qPrintable(QStringLiteral("%1 MiB: %2 ").arg(mib).arg(run.code) + run.err));
            QVERIFY(!QFileInfo::exists(path("out.narc"))); // nothing to write when untranslated
            outcomes |= refused ? 1 : 2;
        }
        QCOMPARE(outcomes, 3);

        // In process, as the window imports: memory that runs out while the
        // translations are applied leaves the archive as it was, not half changed.
        // Each entry one section of 2,000 lines, one of them translated: the
        // composed sections, not the file, take the memory.
        Narc many = archiveOf(QList<NarcEntry>(400, messageFile({QStringList(2000, "a line of some length")})));
        QByteArray translated = poUtf8Header;
        for (int e = 0; e < 400; ++e)
            translated += poMessage(QByteArray::number(10000 + e).mid(1).append("/0000/0001").constData(),
                                    "a line of some length", "translated");
        QVERIFY(writeFileBytes(path("many.po"), translated));
        const QList<NarcEntry> untouched = many.files;
        rlimit unlimited = {};
        QCOMPARE(getrlimit(RLIMIT_AS, &unlimited), 0);
        QFile statm("/proc/self/statm");
        QVERIFY(statm.open(QIODevice::ReadOnly));
        const quint64 inUse = statm.readAll().split(' ').first().toULongLong() * quint64(sysconf(_SC_PAGESIZE));
        int failed = 0;
        for (quint64 mib = 2; mib <= 80; mib += 2) {
            Narc copy = many;
            Reports log;
            rlimit limited = unlimited;
            limited.rlim_cur = inUse + (mib << 20);
            QCOMPARE(setrlimit(RLIMIT_AS, &limited), 0);
            const PoImportSummary summary = importFromPo(copy, path("many.po"), log);
            QCOMPARE(setrlimit(RLIMIT_AS, &unlimited), 0);
            if (log.lines.last().endsWith(": not enough memory")) {
                QVERIFY2(copy.files == untouched, qPrintable(QString::number(mib)));
                ++failed;
            } else {
                QCOMPARE(summary.applied, 400);
            }
        }
        QVERIFY(failed > 0);
    }

    // narctext export-po and import-po: the exit status, the last line on
    // standard error, and what the output holds; the archive never changes.
    // "-" is standard input for import-po (standard output, and devices as
    // targets, are the CLI test's, through the writer export-file shares);
    // every read is bounded; every failure names the system's reason. A changed control escape is applied with a
    // warning, or skipped with --strict; escapes named with --break are not compared.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments"); // ARCHIVE, OUT, PO, HUGE, ... stand for paths
        QTest::addColumn<QString>("input");         // the file on standard input
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("error");     // the last line on standard error; empty: not compared
        QTest::addColumn<QStringList>("lines"); // lines OUT holds; none: OUT is not written
        const QStringList hallo{"0/0/1 Hallo", "0/1/2 Name\\x0001"};
        const QString tooLarge = ": it is larger than 256 MiB";
        row("template over the archive", QStringList{"export-po", "ARCHIVE", "ARCHIVE"}, QString(), 2, QString(),
            QStringList());
        row("translations from standard input", QStringList{"import-po", "ARCHIVE", "-", "-o", "OUT"}, "PO", 0,
            "Finished importing translations from standard input: 1 applied, 0 skipped, 0 untranslated, 0 fuzzy",
            hallo);
        row("endless standard input", QStringList{"import-po", "ARCHIVE", "-", "-o", "OUT"}, "/dev/zero", 2,
            "Failed to import translations from standard input" + tooLarge, QStringList());
        row("a file on standard input, a byte too large", QStringList{"import-po", "ARCHIVE", "-", "-o", "OUT"}, "HUGE",
            2, "Failed to import translations from standard input" + tooLarge, QStringList());
        row("file too large", QStringList{"import-po", "ARCHIVE", "HUGE", "-o", "OUT"}, QString(), 2,
            "Failed to import translations from HUGE" + tooLarge, QStringList());
        row("a device", QStringList{"import-po", "ARCHIVE", "/dev/zero", "-o", "OUT"}, QString(), 2,
            "Failed to import translations from /dev/zero: it is a device, not a regular file", QStringList());
        // A PO file that cannot be used changes nothing: status 2, as a tree without 0000.
        row("not PO", QStringList{"import-po", "ARCHIVE", "BAD", "-o", "OUT"}, QString(), 2, QString(), QStringList());
        row("no archive", QStringList{"import-po", "MISSING", "PO", "-o", "OUT"}, QString(), 2, QString(),
            QStringList());
        row("skipped", QStringList{"import-po", "ARCHIVE", "STALE", "-o", "OUT"}, QString(), 1, QString(),
            QStringList());
        row("--strict", QStringList{"import-po", "--strict", "ARCHIVE", "ESCAPES", "-o", "OUT"}, QString(), 1,
            QString(), hallo);
        row("--strict --break",
            QStringList{"import-po", "--strict", "--break", "\\xfffe", "ARCHIVE", "BREAK", "-o", "OUT"}, QString(), 0,
            QString(), QStringList{"0/1/3 y\\x0001"});
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, input);
        QFETCH(int, exitCode);
        QFETCH(QString, error);
        QFETCH(QStringList, lines);
        Narc narc = importArchive();
        QVERIFY(saveNarcFile(narc, path("game.narc")).ok());
        const QByteArray archiveBytes = readFileBytes(path("game.narc"));
        const QByteArray hallo = poUtf8Header + poMessage("0000/0000/0001", "Hello", "Hallo");
        for (const auto &[name, bytes] :
             {std::pair("in.po", hallo),
              {"stale.po", poUtf8Header + poMessage("0000/0000/0001", "Hullo", "Hallo")},
              {"bad.po", QByteArray("msgid garbage\n")},
              {"escapes.po", hallo + poMessage("0000/0001/0002", "Name\\\\x0001", "Nom")},
              {"break.po", poUtf8Header + poMessage("0000/0001/0003", "x\\\\x0001\\\\xfffe", "y\\\\x0001")}})
            QVERIFY(writeFileBytes(path(name), bytes));
        QFile huge(path("huge.po"));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize((qint64(256) << 20) + 1)); // sparse
        huge.close();
        const QMap<QString, QString> paths{{"ARCHIVE", path("game.narc")},  {"OUT", path("out")},
                                           {"ESCAPES", path("escapes.po")}, {"BREAK", path("break.po")},
                                           {"PO", path("in.po")},           {"STALE", path("stale.po")},
                                           {"BAD", path("bad.po")},         {"MISSING", path("missing")},
                                           {"HUGE", path("huge.po")}};
        for (QString &argument : arguments)
            argument = paths.value(argument, argument);
        RunSetup setup;
        setup.directory = dir->path();
        setup.inputFile = paths.value(input, input);
        const Run result = narctext(arguments, setup);
        QVERIFY2(result.code == exitCode, result.err.constData());
        if (!error.isEmpty())
            QCOMPARE(QString::fromUtf8(result.err).trimmed().section('\n', -1), error.replace("HUGE", path("huge.po")));
        QCOMPARE(readFileBytes(path("game.narc")), archiveBytes);
        QCOMPARE(QFileInfo::exists(path("out")), !lines.isEmpty());
        const QStringList written = allLines(loadNarcFile(path("out")).value);
        for (const QString &line : lines)
            QVERIFY2(written.contains(line), qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(TestPo)
#include "test_po.moc"
