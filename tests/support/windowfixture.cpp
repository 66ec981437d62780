#include "windowfixture.h"

#include "narcfixture.h"

#include <QTest>

QStringList MainWindowProbe::slotsStartedBy(MainWindow &window, QAction *action)
{
    using Slot = void (MainWindow::*)();
    const QList<QPair<QString, Slot>> slotList = {
        {QStringLiteral("openNarc"), &MainWindow::openNarc},
        {QStringLiteral("writeToNarc"), &MainWindow::writeToNarc},
        {QStringLiteral("typeChanged"), &MainWindow::typeChanged},
        {QStringLiteral("loadEntryFromNarc"), &MainWindow::loadEntryFromNarc},
        {QStringLiteral("saveEntry"), &MainWindow::saveEntry},
        {QStringLiteral("exportToFiles"), &MainWindow::exportToFiles},
        {QStringLiteral("exportToFile"), &MainWindow::exportToFile},
        {QStringLiteral("importFromFiles"), &MainWindow::importFromFiles},
    };
    QStringList names;
    for (const auto &[name, slot] : slotList) {
        // A disconnect succeeds only for an existing connection; put it back.
        if (QObject::disconnect(action, &QAction::triggered, &window, slot)) {
            names.append(name);
            QObject::connect(action, &QAction::triggered, &window, slot);
        }
    }
    return names;
}

WindowFixture::WindowFixture()
    : ui(MainWindowProbe::ui(window))
{
    window.chooseFile = [this](FileChoice choice) {
        asked.append(choice);
        return answers.isEmpty() ? QString() : answers.takeFirst();
    };
}

void WindowFixture::open(const QString &path)
{
    answers = QStringList{path};
    ui.actionOpen_Narc->trigger();
}

void WindowFixture::cancelOpen()
{
    answers.clear();
    ui.actionOpen_Narc->trigger();
}

void WindowFixture::write()
{
    ui.actionWrite_To_Narc->trigger();
}

void WindowFixture::saveText()
{
    QTest::mouseClick(ui.pushButton, Qt::LeftButton);
}

void WindowFixture::select(int entry, int section)
{
    ui.narcEntryIds->setCurrentIndex(entry);
    if (section >= 0)
        ui.typeIds->setCurrentIndex(section);
}

QString WindowFixture::log() const
{
    return ui.report->toPlainText();
}

QString WindowFixture::editorText() const
{
    return ui.text->toPlainText();
}

static QStringList comboItems(const QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items.append(combo->itemText(i));
    return items;
}

QStringList WindowFixture::entryItems() const
{
    return comboItems(ui.narcEntryIds);
}

QStringList WindowFixture::typeItems() const
{
    return comboItems(ui.typeIds);
}

QByteArray entryBytes(const NarcEntry &entry)
{
    return QByteArray(entry.constData(), entry.size());
}

NarcEntry toEntry(const QByteArray &bytes)
{
    return NarcEntry(bytes.cbegin(), bytes.cend());
}

bool writeArchive(const QString &path, const QList<NarcEntry> &entries)
{
    QList<QByteArray> bytes;
    for (const NarcEntry &entry : entries)
        bytes.append(entryBytes(entry));
    return writeFileBytes(path, buildNarcBytes(bytes));
}
