#pragma once

#include "check/width.h"

#include <QDialog>

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// View > Line Width...: the width limit of a text box in characters ("Off" for
// none) and the escapes that break lines, as the editor shows them ("\x000a").
// OK is offered only while the escapes read as escapes; the label below says
// what is wrong otherwise.
class LineWidthDialog : public QDialog
{
    Q_OBJECT

public:
    LineWidthDialog(const core::WidthRule &rule, QWidget *parent = nullptr);

    // The rule as set in the dialog (the escapes as last read without fault).
    core::WidthRule rule() const;

private:
    void readBreaks();

    QSpinBox *limit;
    QLineEdit *breaks;
    QLabel *problem;
    QDialogButtonBox *buttons;
    QList<quint16> breakUnits;
};
