#include "app/linewidthdialog.h"

#include "report/lines.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

LineWidthDialog::LineWidthDialog(const core::WidthRule &rule, QWidget *parent)
    : QDialog(parent)
    , limit(new QSpinBox(this))
    , breaks(new QLineEdit(this))
    , problem(new QLabel(this))
    , buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
    , breakUnits(rule.breaks)
{
    setWindowTitle(tr("Line Width"));
    setMinimumWidth(420);
    limit->setObjectName(QStringLiteral("limit"));
    limit->setRange(0, 9999);
    limit->setSpecialValueText(tr("Off"));
    limit->setSuffix(tr(" characters"));
    limit->setValue(qMax(0, rule.limit));
    breaks->setObjectName(QStringLiteral("breaks"));
    breaks->setPlaceholderText(QStringLiteral("\\x000a"));
    breaks->setText(core::escapeListText(rule.breaks));
    problem->setObjectName(QStringLiteral("problem"));
    problem->setWordWrap(true);

    auto *hint = new QLabel(tr("A line ends at the end of a message line and at each escape named as a line "
                               "break. Full-width characters count 2, control escapes 0."),
                            this);
    hint->setWordWrap(true);
    auto *form = new QFormLayout;
    form->addRow(tr("Width limit:"), limit);
    form->addRow(tr("Line break escapes:"), breaks);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(hint);
    layout->addWidget(problem);
    layout->addWidget(buttons);

    connect(breaks, &QLineEdit::textChanged, this, &LineWidthDialog::readBreaks);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    readBreaks();
}

void LineWidthDialog::readBreaks()
{
    const core::Result<QList<quint16>> read = core::parseEscapeList(breaks->text());
    if (read)
        breakUnits = read.value;
    problem->setText(read.reason);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(read.ok());
    if (problem->isHidden() == read.ok())
        return;
    problem->setVisible(!read);
    if (isVisible())
        adjustSize(); // room for the line, and none left when it goes
}

core::WidthRule LineWidthDialog::rule() const
{
    return {limit->value(), breakUnits};
}
