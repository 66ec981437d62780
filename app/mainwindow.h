#pragma once

#include "app/filechooser.h"
#include "app/question.h"
#include "report/observer.h"
#include "codec/decode.h"
#include "narc/narc.h"

#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <functional>

class FindDialog;
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

    // Opens the archive at `path` as "Open Narc" does once a file is chosen: a file
    // that does not load is reported in the log and changes nothing; otherwise the
    // unsaved text and unwritten changes are asked about first.
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
    void findNext();
    void findPrevious();
    void showReplaceDialog();
    // Shows entry `entry`, section `section` and selects `length` units from
    // `column` of its line `line`, after the question about unsaved text.
    void showMatch(int entry, int section, int line, int column, int length);
    // Replaces every occurrence in the archive, after the question about unsaved text.
    void replaceAll(const QString &text, const QString &replacement, bool ignoreCase);

private:
    // The lines of `section` of entry `entryIndex`; refills lineKeys and
    // lineAttributes for them. Indices that name nothing give no lines.
    QStringList decodeSection(int entryIndex, int section);
    // Replaces `section` of entry `entryIndex` with `editedText`, in memory only.
    // False when the text was refused (the log says why) or there is no such
    // section; the entry is then unchanged.
    bool composeEntry(const QString &editedText, int entryIndex, int section);
    // Adds `message` and a newline to the end of the log.
    void appendReport(const QString &message);

    // decodeSection, keeping the codec's reason when the section is malformed.
    core::DecodedSection decodeKeepingKeys(int entryIndex, int section,
                                           core::DecodeForm form = core::DecodeForm::Lines);

    // The editor's text as Save Text stores it.
    QString editorText() const;
    // Whether the editor holds text that differs from what was last shown or saved.
    bool hasUnsavedText() const;
    // Takes the editor's text as the one shown, so it counts as unchanged.
    void markTextKept();
    // Asks about unsaved editor text, if any. True when the caller may go on: the
    // text was saved, or is to be discarded (the caller replaces it right away).
    bool settleUnsavedText();
    // Asks about unwritten changes, if any. True when the caller may go on.
    bool settleUnwrittenChanges();
    // Puts the combo boxes back on the entry and section shown, without signals.
    void restoreShownPlace();
    // Writes the archive to narcPath; false (the log says why) when it failed.
    bool writeArchive();
    // Marks the archive as changed in memory, or as written.
    void setUnwritten(bool unwritten);
    // Tells the find and replace dialogs that narc changed, so they do not trust
    // matches or counts of the archive as it was.
    void narcChanged();
    // "MainWindow", or the archive's file name, a modified marker and " - MainWindow".
    void updateTitle();
    // Shows `dialog` and gives it the keyboard; see the definition for where.
    void showBeside(QDialog *dialog);
    // Runs `import` over narc as a bulk run, marks the archive changed when it
    // changed an entry, and shows the current section as it now stands.
    void runImport(const std::function<void(core::BulkObserver &)> &import);
    // Shows entry `entry` + `step`, through the same questions as a click.
    void stepEntry(int step);
    // The archive file named by a drag, if it carries one.
    static QString droppedArchive(const QMimeData *data);

    Ui::MainWindow *ui;
    core::Narc narc;
    QString narcPath;
    QList<quint16> lineKeys;
    QList<quint16> lineAttributes;

    int shownEntry = -1;       // the entry whose section the editor shows
    int shownSection = -1;     // that section; -1 when the editor shows none
    QString shownText;         // the editor's text when shown or last saved
    bool unwritten = false;    // narc differs from what was loaded or last written
    FindDialog *findDialog;
    ReplaceDialog *replaceDialog;

public:
    // Every file dialog goes through here; an empty answer means cancelled. By
    // default it shows the real modal dialog with this window as its parent.
    FileChooser chooseFile;
    // Every question goes through here. By default it shows the real question box.
    QuestionAsker ask;

private:
    friend class Ui::MainWindow;   // wires the form's signals to the private slots
    friend struct MainWindowProbe; // the tests' view of the internals
};
