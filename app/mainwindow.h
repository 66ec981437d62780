#pragma once

#include "app/archivechooser.h"
#include "app/bulkrun.h"
#include "app/filechooser.h"
#include "app/question.h"
#include "document/archivedocument.h"
#include "narc/narc.h"
#include "report/observer.h"

#include <QList>
#include <QMainWindow>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

class FindDialog;
class LineWidthView;
class ReferencePane;
class QDialog;
class QAction;
class QMimeData;
class ReplaceDialog;

namespace Ui {
class MainWindow;
}

// The editor's one window: the archive being edited, the form that shows it, and
// the slots behind the menu, the combo boxes and the "Save Text" button.
//
// Nothing the user typed or changed is dropped without a question: text in the
// editor that differs from what was shown or saved is asked about before another
// entry or section is shown, another archive opened, an import run or the window
// closed; changes of the archive not yet written are asked about before another
// archive is opened or the window closed.
//
// Edit > Find in Archive and Replace in Archive open two dialogs that stay beside
// the window; a match activated there is shown and selected in the editor, and
// Replace All changes the archive in memory as Save Text would, section by section.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Opens the archive at `path` as "Open Narc" does once a file is chosen: the
    // unsaved text and unwritten changes are asked about first, then the file is
    // read (so an answer "Write To Narc" that wrote this very file is what opens).
    // A file that does not load is reported in the log and changes nothing.
    // `path` may name an archive inside a ROM image ("GAME.nds:data/msg.narc");
    // a ROM image itself offers its archives to choose from first.
    void openArchive(const QString &path);

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void openNarc();
    void writeToNarc();
    void typeChanged();
    void loadEntryFromNarc();
    void saveEntry();
    void exportToFiles();
    void exportToFile();
    void importFromFiles();

    void exportPoTemplate();
    void importPoTranslations();
    void showFindDialog();
    void goToNextMatch();
    void goToPreviousMatch();
    void showReplaceDialog();
    // Shows entry `entry`, section `section` and selects `length` units from
    // `column` of its line `line`, after the question about unsaved text.
    void showMatch(int entry, int section, int line, int column, int length);
    // Replaces every occurrence in the archive, after the question about unsaved text.
    void replaceAll(const QString &text, const QString &replacement, bool ignoreCase);

private:
    // The lines of `section` of entry `entryIndex`, escaped as the editor shows
    // them; refills lineKeys and lineAttributes for them. Indices that name
    // nothing, and a section that cannot be decoded, give no lines; for the
    // latter `*reason` (when given) says why, and is cleared otherwise.
    QStringList decodeSection(int entryIndex, int section, QString *reason = nullptr);
    // Replaces `section` of entry `entryIndex` with `editedText`, in memory only.
    // False when the text was refused (the log says why) or there is no such
    // section; the entry is then unchanged.
    bool composeEntry(const QString &editedText, int entryIndex, int section);
    // Adds `message` and a newline to the end of the log.
    void appendReport(const QString &message);

    // What an action would drop, and so asks about first.
    enum class AtStake {
        Text,           // the editor's unsaved text
        TextAndChanges, // that, then the archive's unwritten changes
    };
    // Asks the questions an action needs before it drops what is at stake, one
    // per thing that is, in order. "Save Text" and "Write To Narc" take effect
    // at once; a refused save or a failed write counts as "Cancel". A "Discard"
    // changes nothing here: the action itself then replaces what was discarded.
    // True when the action may go on; false after a Cancel at any question, and
    // then nothing was discarded: the editor keeps its text, still unsaved, and
    // the archive its unwritten changes.
    bool askBeforeDropping(AtStake atStake);
    // The question about the editor's unsaved text, if it has any.
    Answer askAboutText();
    // The question about the archive's unwritten changes, if it has any.
    Answer askAboutChanges();
    // The question before a jump to a match: true when the jump may go on; the
    // editor then shows its section as stored.
    bool mayLeaveText();

    // Shows the section chosen under "Type" of the entry chosen under "Narc
    // Entry" in the editor, replacing what it holds without a question.
    void showChosenSection();
    // Fills "Type" with the sections of the entry chosen under "Narc Entry", as
    // its header counts them, and chooses `section` (0 when it has no such one),
    // without signals.
    void offerSections(int section);
    // The editor's text as Save Text stores it.
    QString editorText() const;
    // Whether the editor holds text that differs from what was last shown or saved.
    bool hasUnsavedText() const;
    // Takes the editor's text as the one shown, so it counts as unchanged.
    void markTextKept();
    // Puts the combo boxes back on the entry and section shown, without signals.
    void restoreShownPlace();
    // Writes the archive to narcPath, after asking when another program changed
    // the file since it was read or written. False when it failed (the log
    // says why) or the user cancelled at that question.
    bool writeArchive();
    // Marks the archive as changed in memory, or as written.
    void setUnwritten(bool unwritten);
    // Tells the find and replace dialogs that narc changed, so they do not trust
    // matches or counts of the archive as it was.
    void narcChanged();
    // Puts the size of entry `entry` (every entry when -1) into "Narc Entry".
    void showEntrySizes(int entry = -1);
    // "MainWindow", or the archive's file name, a modified marker and " - MainWindow".
    void updateTitle();
    // Shows `dialog` and gives it the keyboard; see the definition for where.
    void showBeside(QDialog *dialog);
    // Moves `dialog` off the editor's current line and the log when it covers one.
    void keepClear(QDialog *dialog);
    // What a dialog is kept from covering, on the screen: the editor's current
    // line, then the log.
    QList<QRect> keptClear() const;
    // The dialog's size with its frame.
    QSize dialogFrameSize(const QDialog *dialog) const;
    // Where `dialog` goes so that it covers nothing keptClear() names, as far as
    // it can (see placeDialog).
    QPoint clearPlace(const QDialog *dialog) const;
    // Offers the archives of the ROM image at `image` (see chooseArchive) and sets
    // `source` to the one chosen; left alone when the user cancelled. The reason
    // when the image cannot be listed or holds no archive, else empty.
    QString chooseRomArchive(const QString &image, core::ArchiveSource &source);
    // The folder file dialogs start in: the archive's (or its image's), when one is open.
    QString startFolder() const;
    // The widgets a bulk run shows itself in.
    WindowBulkRun::Widgets bulkRunWidgets() const;
    // Runs `import` over narc as a bulk run, marks the archive changed when it
    // changed an entry, and shows the entry and section shown before, as they
    // now stand.
    void runImport(const std::function<void(core::BulkObserver &)> &import);
    // Shows entry `entry` + `step`, through the same questions as a click.
    void stepEntry(int step);
    // The archive file named by a drag, if it carries one.
    static QString droppedArchive(const QMimeData *data);

    // The View menu with Line Width..., and the PO import's choice about changed escapes.
    void addTranslatorsChecks();
    // View > Open Reference... and Close Reference, the pane and its progress.
    void addReferencePane();
    // The order Tab goes in: what is shown, saving it, the text, the log.
    void orderTabs();
    // The entry list's item for entry `entry`: index, size, and with a reference
    // how many of its lines differ from it ("12 - 1be4 - 35/40").
    QString entryItem(int entry) const;

    Ui::MainWindow *ui;
    core::Narc narc;
    QString narcPath;
    core::ArchiveDocument document; // narcPath as read from disk or last written
    QList<quint16> lineKeys;
    QList<quint16> lineAttributes;

    int shownEntry = -1;    // the entry whose section the editor shows
    int shownSection = -1;  // that section; -1 when the editor shows none
    QString shownText;      // the editor's text when shown or last saved
    bool unwritten = false; // narc differs from what was loaded or last written
    FindDialog *findDialog;
    ReplaceDialog *replaceDialog;
    LineWidthView *lineWidth;     // View > Line Width...
    ReferencePane *referencePane; // View > Open Reference...
    QAction *skipChangedEscapes;  // File > Skip Translations with Changed Escapes

public:
    // Every file dialog goes through here; an empty answer means cancelled. By
    // default it shows the real modal dialog with this window as its parent.
    FileChooser chooseFile;
    // Every question goes through here. By default it shows the real question box.
    QuestionAsker ask;
    // Which archive of a ROM image to open. By default it shows the real list.
    ArchiveChooser chooseArchive;

private:
    friend class Ui::MainWindow;   // wires the form's signals to the private slots
    friend struct MainWindowProbe; // the tests' view of the internals
};
