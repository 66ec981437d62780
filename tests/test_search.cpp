// Find and replace over the whole archive: the core calls, the two dialogs
// through real signals and key presses, and `narctext replace` end to end.

#include "app/replacedialog.h"
#include "codec/compose.h"
#include "codec/decode.h"
#include "corefixture.h"
#include "messagefixture.h"
#include "narc/narcstream.h"
#include "narc/narcwriter.h"
#include "narcfixture.h"
#include "process.h"
#include "rows.h"
#include "search/replace.h"
#include "search/search.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace core;

namespace {

// "line:column" of every match, for compact expectations.
QStringList places(const QList<SearchMatch> &matches)
{
    QStringList out;
    for (const SearchMatch &match : matches)
        out.append(QStringLiteral("%1:%2").arg(match.line).arg(match.column));
    return out;
}

QString describe(const SearchMatch &match)
{
    return QStringLiteral("%1/%2/%3:%4+%5")
        .arg(match.entry)
        .arg(match.section)
        .arg(match.line)
        .arg(match.column)
        .arg(match.length);
}

// An entry whose section 1 the composer refuses to take back once it grows: its
// only line is just below the longest a line may be.
NarcEntry nearlyFullEntry()
{
    return buildMessageFile(QList<QStringList>{{QStringLiteral("fox")},
                                               {QString(65530, QLatin1Char('b')) + QStringLiteral("fox")}});
}

} // namespace

class SearchTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;

    Run narctext(const QStringList &arguments) const
    {
        RunSetup setup;
        setup.directory = dir->path();
        return ::narctext(arguments, setup);
    }

    QString path(const QString &name) const { return dir->filePath(name); }

private slots:
    void init() { dir = std::make_unique<QTemporaryDir>(); }

    // One section of the given lines (stored units taken literally, so "\n" is
    // the unit 0x000A, shown as "\x000a"); where `text` is found in its escaped
    // text, and how many matches inside escapes are left alone.
    void findsInEscapedText_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ignoreCase");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("leftAlone");

        const QStringList fox{"fox at the start", "at the end a fox", "no", "fox"};
        row("line start and end", fox, "fox", false, QStringList{"0:0", "1:13", "3:0"}, 0);
        row("no overlap", QStringList{"aaaaa"}, "aa", false, QStringList{"0:0", "0:2"}, 0);
        row("ending past an escape", QStringList{"a\nb"}, "0ab", false, QStringList{}, 1);
        row("digits of escapes", QStringList{"\n0", "0\x01"}, "0", false, QStringList{"0:6", "1:0"}, 6);
        row("overlapping inside an escape", QStringList{QString(QChar(0))}, "00", false, QStringList{}, 2);
        row("right after an escape", QStringList{"\naa"}, "aa", false, QStringList{"0:6"}, 1);
        row("with a backslash, escapes are searched", QStringList{"\n"}, "\\x0", false, QStringList{"0:0"}, 0);
        row("a stored backslash shows escaped", QStringList{"c:\\dir"}, "\\x005cdir", false, QStringList{"0:2"}, 0);
        row("case counts", QStringList{"Fox FOX fox"}, "fox", false, QStringList{"0:8"}, 0);
        row("ignoring case", QStringList{"Fox FOX fox"}, "fOx", true, QStringList{"0:0", "0:4", "0:8"}, 0);
        // Columns count UTF-16 units whatever the bytes: a character beyond the
        // BMP is two, a kana one.
        row("columns in units", QStringList{"\U0001F600 fox \u3042 fox"}, "fox", false, QStringList{"0:3", "0:9"}, 0);
        row("a lone half matches units", QStringList{"a\U0001F600"}, QString(QChar(0xDE00)), false, QStringList{"0:2"},
            0);
        // A first character that shows as itself: sections without it are passed over.
        row("a rare first character", QStringList{"quiz", "the quick and the quiet quay", "\nq"}, "qu", false,
            QStringList{"0:0", "1:4", "1:18", "1:24"}, 0);
        row("across 16 units", QStringList{QString(15, '.') + "qz", "aq", "ub"}, "qz", false, QStringList{"0:15"}, 0);
        row("not across lines", QStringList{"aq", "ub"}, "qu", false, QStringList{}, 0);
        row("empty text finds nothing", fox, "", false, QStringList{}, 0);
        row("no line break in a line", fox, "fox\n", false, QStringList{}, 0);
    }
    void findsInEscapedText()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, text);
        QFETCH(bool, ignoreCase);
        QFETCH(QStringList, expected);
        QFETCH(int, leftAlone);
        const Narc narc = archiveOf({buildMessageFile(QList<QStringList>{lines})});
        const QStringList decoded = decodeMessageSection(narc.files.at(0), 0).lines;
        // Where case cannot matter (nothing folds), ignoring it finds the same:
        // the section is then searched as text, not as its UTF-8 bytes.
        QList<Qt::CaseSensitivity> sensitivities{ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive};
        const QString all = text + decoded.join('\n');
        if (!ignoreCase && all.toCaseFolded() == all)
            sensitivities.append(Qt::CaseInsensitive);
        for (const Qt::CaseSensitivity sensitivity : sensitivities) {
            const SearchQuery query{text, sensitivity};
            Reports reports;
            const FoundMatches found = findInArchive(narc, query, reports);
            QCOMPARE(places(found.matches), expected);
            QCOMPARE(found.summary.matches, expected.size());
            QCOMPARE(found.summary.insideEscapes, leftAlone);
            QVERIFY(reports.lines.isEmpty());
            for (qsizetype i = 0; i < found.matches.size(); ++i) {
                const SearchMatch &match = found.matches.at(i);
                QCOMPARE(match.length, text.size());
                QCOMPARE(found.lineTexts.at(i), decoded.at(match.line));
                QCOMPARE(decoded.at(match.line).mid(match.column, match.length).compare(text, sensitivity), 0);
            }
            QCOMPARE(countMatches(narc, query, reports).matches, expected.size());
        }
    }

    // Hundreds of entries (searched in blocks on several threads), with entries
    // that cannot be decoded among them: the same matches in the same order as a
    // plain search, the same report lines in entry order; the limit, the count
    // and a visitor that stops.
    void archiveOrderAndReports()
    {
        QList<NarcEntry> entries;
        for (int e = 0; e < 700; ++e) {
            if (e % 97 == 13) {
                entries.append(NarcEntry(e % 2 ? 5 : 0, 'x'));
                continue;
            }
            const QString tag = QString::number(e);
            entries.append(e % 3 ? buildMessageFile(QList<QStringList>{{"Fox " + tag, "fox fox"}, {"漢字 fox", tag}})
                                 : buildMessageFile(QList<QStringList>{{"nothing", "here " + tag}}));
        }
        // A section whose line points past its block.
        NarcEntry broken = buildMessageFile(QList<QStringList>{{"fox"}, {"fox"}});
        broken[broken.size() - 12] = char(0x7f);
        entries[400] = broken;
        const Narc narc = archiveOf(entries);

        for (const Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
            const SearchQuery query{QStringLiteral("fox"), cs};
            // Entries 13, 207, 401 and 595 are too short for a head, 110, 304,
            // 498 and 692 empty; other entries match as built above.
            QStringList events;
            for (int e = 0; e < 700; ++e) {
                const QString at = "M " + QString::number(e) + "/%1:%2+3";
                if (e % 97 == 13 && e % 2) {
                    events << QString("R Cannot decode entry %1: the header is cut short (5 bytes, at least 12 needed)")
                                  .arg(e);
                } else if (e == 400) {
                    events << at.arg("0/0").arg(0)
                           << "R Cannot decode section 1 of entry 400: " + decodeMessageSection(broken, 1).reason;
                } else if (e % 97 != 13 && e % 3) {
                    if (cs == Qt::CaseInsensitive)
                        events << at.arg("0/0").arg(0);
                    events << at.arg("0/1").arg(0) << at.arg("0/1").arg(4) << at.arg("1/0").arg(3);
                }
            }
            QStringList expected = events.filter(QRegularExpression("^M "))
                                       .replaceInStrings(QRegularExpression("^M "), "");
            QVERIFY(expected.size() > 1000 && events.size() - expected.size() == 5);

            // Report lines and matches in one list, as they come, from the
            // archive in memory or read from its bytes one entry at a time.
            const auto collect = [&](auto &source, SearchSummary &summary) {
                struct Events : BulkObserver
                {
                    QStringList lines;
                    void report(const QString &line) override { lines.append("R " + line); }
                } seen;
                summary = searchArchive(
                    source, query, seen,
                    [&](const SearchMatch &match, const QString &line) {
                        seen.lines.append("M " + describe(match));
                        return line.mid(match.column, match.length).compare(query.text, cs) == 0;
                    },
                    std::numeric_limits<qint64>::max());
                return seen.lines;
            };
            SearchSummary summary;
            QCOMPARE(collect(narc, summary), events);
            QCOMPARE(summary.matches, expected.size());
            QCOMPARE(summary.sectionsUnreadable, 5);
            QSet<QString> sections;
            for (const QString &match : std::as_const(expected))
                sections.insert(match.section(QLatin1Char('/'), 0, 1));
            QCOMPARE(summary.sectionsMatched, sections.size());

            Reports more;
            const FoundMatches first = findInArchive(narc, query, more, 10);
            QCOMPARE(first.matches.size(), 10);
            QCOMPARE(first.summary.matches, expected.size());
            QCOMPARE(describe(first.matches.last()), expected.at(9));
            const SearchSummary counted = countMatches(narc, query, more);
            QCOMPARE(counted.matches, expected.size());

            int calls = 0;
            searchArchive(narc, query, more, [&](const SearchMatch &, const QString &) { return ++calls < 3; });
            QCOMPARE(calls, 3);

            QByteArray bytes = serializeNarc(const_cast<Narc &>(narc));
            QBuffer device(&bytes);
            device.open(QIODevice::ReadOnly);
            Result<NarcStream> stream = NarcStream::open(&device);
            QVERIFY(stream.ok());
            QCOMPARE(collect(stream.value, summary), events);
        }
        // A text whose first character no section holds: every section is still
        // read, and the same ones reported.
        Reports none;
        QCOMPARE(countMatches(narc, {QStringLiteral("zebra")}, none).matches, 0);
        QCOMPARE(none.lines.size(), 5);
    }

    // Replace All composes each changed section as Save Text would compose the
    // edited text; a section the composer refuses stays byte for byte.
    void replaceComposesEachSection()
    {
        const QList<NarcEntry> entries{
            buildMessageFile(QList<QStringList>{{"The fox ran", "FOX\nfox"}, {"no match", "none"}}),
            NarcEntry(3, 'x'),
            nearlyFullEntry(),
            buildMessageFile(QList<QStringList>{{"fox"}}),
        };
        Narc narc = archiveOf(entries);
        const SearchQuery query{QStringLiteral("fox"), Qt::CaseInsensitive};
        Reports reports;
        QCOMPARE(countMatches(narc, query, reports).matches, 6);

        // What the user would get by editing each section in turn.
        Narc expected = narc;
        for (const auto &[e, s] : {std::pair(0, 0), {2, 0}, {3, 0}}) {
            QString text = decodeMessageSection(expected.files.at(e), s).lines.join('\n');
            text.replace(query.text, QStringLiteral("cat\\x0001"), Qt::CaseInsensitive);
            const ComposeResult result = composeEntry(expected.files.at(e), text, s);
            QVERIFY(result.changed());
            expected.files[e] = result.entry;
        }

        reports.lines.clear();
        const ReplaceSummary summary = replaceInArchive(narc, query, QStringLiteral("cat\\x0001"), reports);
        QCOMPARE(narc.files, expected.files);
        QCOMPARE(reports.lines.size(), 3);
        QVERIFY(reports.lines.at(0).startsWith("Cannot decode entry 1: "));
        QVERIFY2(reports.lines.at(1).startsWith("Skipping 0001/0002: line 1 is too long"),
                 qPrintable(reports.lines.at(1)));
        QCOMPARE(reports.lines.at(2), QStringLiteral("Replaced 5 occurrences in 3 sections"));
        QVERIFY(summary.changed && summary.outcome() == Outcome::DoneWithSkips);
        QCOMPARE(summary.sectionsRefused, 1);
        QCOMPARE(summary.sectionsUnreadable, 1);
        // The refused section is still there to find.
        QCOMPARE(countMatches(narc, query, reports).matches, 1);

        // A replacement that holds what it replaces is not searched again; one
        // equal to what it replaces changes nothing.
        Narc again = archiveOf({buildMessageFile(QList<QStringList>{{"ab ab"}})});
        const ReplaceSummary grown = replaceInArchive(again, {QStringLiteral("ab"), Qt::CaseSensitive},
                                                      QStringLiteral("abab"), reports);
        QCOMPARE(decodeMessageSection(again.files.at(0), 0).lines, QStringList{"abab abab"});
        QVERIFY(grown.changed && grown.occurrences == 2);
        const Narc before = again;
        const ReplaceSummary same = replaceInArchive(again, {QStringLiteral("abab"), Qt::CaseSensitive},
                                                     QStringLiteral("abab"), reports);
        QVERIFY(!same.changed && same.occurrences == 2 && same.outcome() == Outcome::Done);
        QCOMPARE(again.files, before.files);
    }

    void replaceRefuses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("report");
        const QString lineBreak = QStringLiteral("Nothing replaced: the replacement holds a line break");
        row("LF", "fox", "a\nb", lineBreak);
        row("CR", "fox", "a\r", lineBreak);
        row("line separator", "fox", QString(QChar::LineSeparator), lineBreak);
        row("nothing to find", "", "cat", "Nothing replaced: the text to find is empty");
    }
    void replaceRefuses()
    {
        QFETCH(QString, text);
        QFETCH(QString, replacement);
        QFETCH(QString, report);
        Narc narc = archiveOf({buildMessageFile(QList<QStringList>{{"fox", "a fox"}})});
        const Narc before = narc;
        Reports reports;
        const ReplaceSummary summary = replaceInArchive(narc, {text, Qt::CaseSensitive}, replacement, reports);
        QVERIFY(summary.refused && !summary.changed && summary.occurrences == 0);
        QCOMPARE(reports.lines, QStringList{report});
        QCOMPARE(narc.files, before.files);
    }

    // The replace dialog counts before it lets anything change (Enter counts,
    // never replaces), takes the count back when the question changes, and
    // refuses a line break.
    void replaceDialog()
    {
        Narc narc = archiveOf({buildMessageFile(QList<QStringList>{{"fox fox", "Fox"}}), NarcEntry(2, 'x')});
        ReplaceDialog dialog;
        dialog.setArchive(&narc);
        auto *find = dialog.findChild<QLineEdit *>("findText");
        auto *replacement = dialog.findChild<QLineEdit *>("replaceText");
        auto *replaceAll = dialog.findChild<QPushButton *>("replaceAllButton");
        auto *status = dialog.findChild<QLabel *>("status");
        QSignalSpy requested(&dialog, &ReplaceDialog::replaceAllRequested);
        QTest::keyClicks(find, "fox");
        QTest::keyClicks(replacement, "cat");
        QVERIFY(!replaceAll->isEnabled());
        QTest::keyClick(replacement, Qt::Key_Return);
        QVERIFY(requested.isEmpty());
        QCOMPARE(status->text(), QStringLiteral("2 matches in 1 section (1 section could not be decoded)"));
        QVERIFY(replaceAll->isEnabled());
        dialog.findChild<QCheckBox *>("ignoreCase")->setChecked(true);
        QVERIFY(!replaceAll->isEnabled());
        QCOMPARE(dialog.matchCount(), -1);
        QTest::mouseClick(dialog.findChild<QPushButton *>("countButton"), Qt::LeftButton);
        QCOMPARE(dialog.matchCount(), 3);
        dialog.archiveChanged();
        QVERIFY(!replaceAll->isEnabled());
        replacement->setText(QStringLiteral("two\nlines"));
        QTest::keyClick(find, Qt::Key_Return);
        QCOMPARE(status->text(), QStringLiteral("The replacement holds a line break"));
        QVERIFY(!replaceAll->isEnabled());
        replacement->setText(QStringLiteral("cat"));
        QTest::keyClick(find, Qt::Key_Return);
        QTest::mouseClick(replaceAll, Qt::LeftButton);
        QCOMPARE(requested.first(), QList<QVariant>({"fox", "cat", true}));
    }

    // narctext replace: the archive written as the core call leaves it, or not
    // at all; the report lines on stderr; each exit status.
    void narctextReplace_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("firstError");
        row("ignoring case, in place", QStringList{"replace", "-i", "test.narc", "FOX", "cat"}, 0,
            "Replaced 3 occurrences in 2 sections");
        row("refused section", QStringList{"replace", "refuse.narc", "fox", "catcatcat", "-o", "out.narc"}, 1,
            "Skipping 0001/0000: line 1 is too long");
        row("line break", QStringList{"replace", "test.narc", "fox", "a\nb", "-o", "out.narc"}, 2,
            "narctext: replace: the replacement holds a line break");
        // Digits inside \xNNNN escapes are no text: replacing "0" with "1" once
        // turned every "\x000a" into "\x111a".
        row("digits of escapes left alone", QStringList{"replace", "test.narc", "0", "1", "-o", "out.narc"}, 0,
            "Replaced 1 occurrences in 1 sections; 6 matches inside escapes left alone");
    }
    void narctextReplace()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, firstError);
        const QList<NarcEntry> test{buildMessageFile(QList<QStringList>{{"a fox", "Fox"}, {"fox", "none"}}),
                                    buildMessageFile(QList<QStringList>{{"10\n", "x\x01"}})};
        const QList<NarcEntry> refuse{nearlyFullEntry()};
        QVERIFY(writeArchive(path("test.narc"), test) && writeArchive(path("refuse.narc"), refuse));
        const bool ignoreCase = arguments.at(1) == "-i";
        const QStringList positional = arguments.mid(ignoreCase ? 2 : 1, 3); // archive, text, replacement
        const QString input = positional.at(0);
        const QByteArray before = readFileBytes(path(input));

        const Run run = narctext(arguments);
        QVERIFY2(run.code == code, run.err.constData());
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.startsWith(firstError.toUtf8()), run.err.constData());

        // What the core call makes of the same archive.
        const int outputAt = arguments.indexOf("-o");
        const QString output = outputAt > 0 ? arguments.at(outputAt + 1) : input;
        const QByteArray result = readFileBytes(path(output));
        if (code == 2) { // nothing written
            QVERIFY(output == input ? result == before : !QFileInfo::exists(path(output)));
            return;
        }
        Narc narc = archiveOf(input == "test.narc" ? test : refuse);
        Reports reports;
        replaceInArchive(narc, {positional.at(1), ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive},
                         positional.at(2), reports);
        QCOMPARE(QString::fromUtf8(run.err).split('\n', Qt::SkipEmptyParts), reports.lines);
        QCOMPARE(result, serializeNarc(narc));
        QCOMPARE(readFileBytes(path(input)) == before, output != input);
    }

    // narctext find over the core search: one line per matching line however
    // often it matches, exit 1 when nothing is found, and the matches inside
    // escapes left alone counted.
    void narctextFind()
    {
        QVERIFY(writeArchive(path("test.narc"), {buildMessageFile(QList<QStringList>{{"fox fox", "no"}, {"x", "FOX"}}),
                                                 buildMessageFile(QList<QStringList>{{"10\n", "x\x01"}})}));
        const Run run = narctext({"find", "-i", "test.narc", "fox"});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QByteArray("0\t0\t1\tfox fox\n0\t1\t2\tFOX\n")); // lines count from 1
        const Run none = narctext({"find", "test.narc", "zebra"});
        QVERIFY(none.code == 1 && none.out.isEmpty() && none.err.isEmpty());
        const Run found = narctext({"find", "test.narc", "0"});
        QCOMPARE(found.out, QByteArray("1\t0\t1\t10\\x000a\n"));
        QCOMPARE(found.err, QByteArray("6 matches inside escapes left alone\n"));
    }
};

QTEST_MAIN(SearchTest)
#include "test_search.moc"
