#pragma once

#include <QString>

#include <functional>

class QWidget;

// What the window asks before it drops something the user has not kept.
enum class Question {
    UnsavedText,      // the editor holds text not stored with "Save Text"
    UnwrittenChanges, // the archive in memory holds changes not written with "Write To Narc"
    EditedTree,       // an export would replace tree files that differ from the archive
    ChangedOnDisk,    // Write To Narc would replace a file another program changed
};

// The answers: keep the work ("Save Text" or "Write To Narc"), "Discard" it, or
// "Cancel" what was about to happen. EditedTree and ChangedOnDisk offer only the
// last two: "Replace" and "Overwrite" discard the other work (the edited files,
// the other program's changes).
enum class Answer { Keep, Discard, Cancel };

// The subject of Question::EditedTree: "3 files in DIR differ", "1 file in DIR
// differs".
QString editedTreeSubject(int count, const QString &folder);

// Asks `question` about `subject` (the section or the archive it concerns). The
// window holds one of these beside its FileChooser so tests can answer in place of
// the user.
using QuestionAsker = std::function<Answer(Question, const QString &subject)>;

// Shows the modal question box for `question`, with `parent` as its parent.
// Closing the box counts as "Cancel".
Answer askWithDialog(QWidget *parent, Question question, const QString &subject);
