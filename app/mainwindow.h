#pragma once

#include "app/filechooser.h"
#include "codec/decode.h"
#include "narc/narc.h"

#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>

namespace Ui {
class MainWindow;
}

// The editor's one window: the archive being edited, the form that shows it, and
// the slots behind the menu, the combo boxes and the "Save Text" button.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

protected:
    void changeEvent(QEvent *event) override;

private slots:
    void openNarc();
    void writeToNarc();
    void typeChanged();
    void loadEntryFromNarc();
    void saveEntry();
    void exportToFiles();
    void exportToFile();
    void importFromFiles();

private:
    // The lines of `section` of entry `entryIndex`; refills lineKeys and
    // lineAttributes for them. Indices that name nothing give no lines.
    QStringList decodeSection(int entryIndex, int section);
    // Replaces `section` of entry `entryIndex` with `editedText`, in memory only.
    void composeEntry(const QString &editedText, int entryIndex, int section);
    // Adds `message` and a newline to the end of the log.
    void appendReport(const QString &message);

    // decodeSection, keeping the codec's reason when the section is malformed.
    core::DecodedSection decodeKeepingKeys(int entryIndex, int section,
                                           core::DecodeForm form = core::DecodeForm::Lines);

    Ui::MainWindow *ui;
    core::Narc narc;
    QString narcPath;
    QList<quint16> lineKeys;
    QList<quint16> lineAttributes;

public:
    // Every file dialog goes through here; an empty answer means cancelled. By
    // default it shows the real modal dialog with this window as its parent.
    FileChooser chooseFile;

private:
    friend class Ui::MainWindow;   // wires the form's signals to the private slots
    friend class MainWindowProbe;  // the tests' view of the internals
};
