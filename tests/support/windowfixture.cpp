#include "windowfixture.h"

#include "narcfixture.h"

QStringList WindowFixture::items(const QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items.append(combo->itemText(i));
    return items;
}

QStringList WindowFixture::formTexts() const
{
    QStringList texts{window.windowTitle()};
    for (const QAction *action : ui.menuFile->actions())
        texts.append(action->text());
    return texts << ui.label->text() << ui.label_3->text() << ui.pushButton->text() << ui.progressBar->format()
                 << ui.label_2->text() << ui.menuFile->title();
}

QStringList WindowFixture::state() const
{
    const QProgressBar *bar = ui.progressBar;
    return items(ui.narcEntryIds) + items(ui.typeIds)
           << QStringLiteral("entry %1 type %2").arg(ui.narcEntryIds->currentIndex()).arg(ui.typeIds->currentIndex())
           << editor() << log()
           << QStringLiteral("bar %1..%2 at %3").arg(bar->minimum()).arg(bar->maximum()).arg(bar->value());
}

bool writeArchive(const QString &path, const QList<NarcEntry> &entries)
{
    QList<QByteArray> bytes;
    for (const NarcEntry &entry : entries)
        bytes.append(QByteArray(entry.constData(), entry.size()));
    return writeFileBytes(path, buildNarcBytes(bytes));
}
