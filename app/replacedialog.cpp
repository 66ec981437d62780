#include "app/replacedialog.h"

#include "report/lines.h"
#include "search/replace.h"
#include "search/search.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace core;

namespace {

struct SilentObserver : BulkObserver
{
    void report(const QString &) override {}
};

} // namespace

ReplaceDialog::ReplaceDialog(QWidget *parent)
    : QDialog(parent)
    , findText(new QLineEdit(this))
    , replaceText(new QLineEdit(this))
    , ignoreCase(new QCheckBox(QStringLiteral("Ignore case"), this))
    , countButton(new QPushButton(QStringLiteral("Count Matches"), this))
    , status(new QLabel(this))
    , replaceAllButton(new QPushButton(QStringLiteral("Replace All"), this))
{
    setWindowTitle(QStringLiteral("Replace in Archive"));
    setModal(false);
    findText->setObjectName(QStringLiteral("findText"));
    replaceText->setObjectName(QStringLiteral("replaceText"));
    ignoreCase->setObjectName(QStringLiteral("ignoreCase"));
    countButton->setObjectName(QStringLiteral("countButton"));
    status->setObjectName(QStringLiteral("status"));
    status->setWordWrap(true);
    replaceAllButton->setObjectName(QStringLiteral("replaceAllButton"));
    auto *closeButton = new QPushButton(QStringLiteral("Close"), this);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    // Enter counts (the fields' returnPressed); it must never replace.
    for (QPushButton *button : {countButton, replaceAllButton, closeButton}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Find:"), findText);
    form->addRow(QStringLiteral("Replace with:"), replaceText);
    form->addRow(QString(), ignoreCase);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(countButton);
    buttons->addWidget(replaceAllButton);
    buttons->addStretch(1);
    buttons->addWidget(closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(status);
    layout->addStretch(1);
    layout->addLayout(buttons);
    resize(460, 200);

    connect(findText, &QLineEdit::textChanged, this, &ReplaceDialog::clearCount);
    connect(replaceText, &QLineEdit::textChanged, this, &ReplaceDialog::clearCount);
    connect(ignoreCase, &QCheckBox::toggled, this, &ReplaceDialog::clearCount);
    connect(findText, &QLineEdit::returnPressed, this, &ReplaceDialog::countMatches);
    connect(replaceText, &QLineEdit::returnPressed, this, &ReplaceDialog::countMatches);
    connect(countButton, &QPushButton::clicked, this, &ReplaceDialog::countMatches);
    connect(replaceAllButton, &QPushButton::clicked, this, &ReplaceDialog::requestReplaceAll);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    clearCount();
}

void ReplaceDialog::setArchive(const Narc *archive)
{
    narc = archive;
    clearCount();
}

void ReplaceDialog::archiveChanged()
{
    clearCount();
}

void ReplaceDialog::clearCount()
{
    counted = -1;
    replaceAllButton->setEnabled(false);
    status->setText(findText->text().isEmpty() ? QString()
                                               : QStringLiteral("Count the matches to see what Replace All changes"));
}

void ReplaceDialog::countMatches()
{
    clearCount();
    const SearchQuery query{findText->text(), ignoreCase->isChecked() ? Qt::CaseInsensitive : Qt::CaseSensitive};
    QString problem = replaceProblem(query, replaceText->text()).reason;
    if (!problem.isEmpty()) {
        problem[0] = problem.at(0).toUpper();
        status->setText(problem);
        return;
    }
    if (!narc) {
        status->setText(QStringLiteral("No archive is open"));
        return;
    }

    QApplication::setOverrideCursor(Qt::WaitCursor);
    SilentObserver silent;
    const SearchSummary summary = core::countMatches(*narc, query, silent);
    QApplication::restoreOverrideCursor();
    counted = summary.matches;
    status->setText(countStatusText(counted, summary.sectionsMatched, summary.sectionsUnreadable,
                                    summary.insideEscapes));
    replaceAllButton->setEnabled(counted > 0);
}

void ReplaceDialog::requestReplaceAll()
{
    if (counted <= 0)
        return;
    replaceSummary.clear();
    emit replaceAllRequested(findText->text(), replaceText->text(), ignoreCase->isChecked());
    countMatches(); // what is left: occurrences in sections that were refused
    if (!replaceSummary.isEmpty())
        status->setText(counted == 0 ? replaceSummary : replaceSummary + QLatin1Char('\n') + status->text());
}

void ReplaceDialog::setReplaceSummary(const QString &summary)
{
    replaceSummary = summary;
}
