#pragma once

#include "narc/narc.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// "Replace in Archive": the text to find, its replacement and "Ignore case".
// "Count Matches" (or Enter in either field) counts the occurrences over the
// whole archive, as core::countMatches() does, and shows the count; "Replace All"
// is offered only while that count stands for the fields as they are and the
// archive as it is, so the user always sees how many occurrences will change
// before anything does. A replacement holding a line break is refused here
// already.
//
// The dialog changes nothing itself: "Replace All" emits replaceAllRequested(),
// and the window answers it (asks about unsaved editor text, runs
// core::replaceInArchive(), marks the archive modified) and hands the summary
// back through setReplaceSummary(). Right after the signal returns, the dialog
// counts again and shows the summary above what is left.
class ReplaceDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ReplaceDialog(QWidget *parent = nullptr);

    // The archive to count in; it must outlive the dialog or be unset (nullptr:
    // nothing to count).
    void setArchive(const core::Narc *narc);

    // The occurrences counted for the fields as they are; -1 when not counted.
    qint64 matchCount() const { return counted; }

public slots:
    // Counts the occurrences of the field's text and shows the count.
    void countMatches();
    // The count shown no longer stands: it is cleared and "Replace All" waits
    // for a new one.
    void archiveChanged();
    // What the Replace All being answered did, shown once it returns.
    void setReplaceSummary(const QString &summary);

signals:
    void replaceAllRequested(const QString &text, const QString &replacement, bool ignoreCase);

private:
    void clearCount();
    void requestReplaceAll();

    const core::Narc *narc = nullptr;
    qint64 counted = -1;
    QString replaceSummary; // given while replaceAllRequested() is answered

    QLineEdit *findText;
    QLineEdit *replaceText;
    QCheckBox *ignoreCase;
    QPushButton *countButton;
    QLabel *status;
    QPushButton *replaceAllButton;
};
