#pragma once

#include "base/result.h"
#include "diff/referenceprogress.h"
#include "narc/narc.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QAction;
class QLabel;
class QPlainTextEdit;
class QSplitter;
class QStatusBar;
class QWidget;

// View > Open Reference...: a second archive opened read-only beside the editor
// (typically the untranslated original), so that what a line said before stays
// in sight while it is overwritten.
//
// While a reference is open, a splitter stands in the editor's place holding a
// read-only view of the same entry and section of the reference and the editor,
// the view scrolled line for line with the editor (either one scrolled takes
// the other along); every line of the editor whose text differs from the same
// line of the reference is marked; and the status bar says how much of the archive differs from the reference
// ("translated 1,204 of 3,610 lines, 33%"), per entry in count(). Without one,
// the editor stands alone exactly where the form puts it.
//
// The reference is remembered per archive for the window's life: opening the
// archive again brings it back, opening another archive closes it.
class ReferencePane : public QObject
{
    Q_OBJECT

public:
    ReferencePane(QPlainTextEdit *editor, QStatusBar *statusBar, const core::Narc *archive, QObject *parent);

    QAction *openAction() const { return openReferenceAction; }
    QAction *closeAction() const { return closeReferenceAction; }

    // Asks for the reference file; an empty answer means cancelled.
    std::function<QString()> choosePath;
    // Puts a line into the window's log.
    std::function<void(const QString &)> report;

    // Reads the reference at `path` for the archive open now and shows it. A file
    // that does not load is reported and changes nothing.
    core::Status open(const QString &path);
    // Closes the reference, and forgets it for the archive open now.
    void close();
    bool isOpen() const { return !referencePath.isEmpty(); }
    const QString &path() const { return referencePath; }

    // Another archive was opened (at `archivePath`): brings back the reference
    // remembered for it, or closes the one shown.
    void archiveOpened(const QString &archivePath);
    // The editor now shows section `section` of entry `entry` (-1: none).
    void show(int entry, int section);
    // Entry `entry` of the archive changed (Save Text): it alone is compared again.
    void entryChanged(int entry);
    // The archive changed in bulk (an import, Replace All); `before` holds its
    // entries before: the entries that changed are compared again.
    void entriesChanged(const QList<core::NarcEntry> &before);

    // How many lines of entry `entry` differ from the reference, of how many.
    core::ReferenceProgress::Count count(int entry) const { return progress.entry(entry); }
    core::ReferenceProgress::Count total() const { return progress.total(); }

    // The lines of the reference's section shown, and whether it has that section.
    const QStringList &referenceLines() const { return shownLines; }
    // Whether line `line` (from 0) of the editor is marked: its text differs from
    // the same line of the reference's section, or the reference lacks it.
    bool lineDiffers(int line, const QString &text) const;
    // The editor's lines that are marked, from 0.
    QList<int> markedLines() const;
    QPlainTextEdit *view() const { return referenceView; }

signals:
    // The counts of entry `entry` changed, of every entry when -1.
    void countsChanged(int entry);
    // The editor moved into the splitter or back to its own place.
    void placeChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void chooseAndOpen();
    // Puts the splitter in the editor's place, or takes it away.
    void showPane(bool shown);
    void showTotal();
    void compareAll();
    // Scrolls the reference to the editor's first line shown.
    void followEditor();

    QPlainTextEdit *editor;
    // The editor's viewport, kept: the filter still hears it while the editor
    // is being destroyed, when the editor can no longer be asked for it.
    QWidget *editorViewport;
    const core::Narc *archive;
    QLabel *status;
    QWidget *marks;
    QAction *openReferenceAction;
    QAction *closeReferenceAction;
    QSplitter *splitter = nullptr;
    QPlainTextEdit *referenceView = nullptr;

    QString archiveKey;                 // the archive open now, as the map below names it
    QHash<QString, QString> remembered; // archive -> its reference, for the window's life
    QString referencePath;
    core::Narc reference;
    core::ReferenceProgress progress;
    int shownEntry = -1;
    int shownSection = -1;
    QStringList shownLines;
    bool shownPresent = false; // the reference has the section shown, and it decodes
};
