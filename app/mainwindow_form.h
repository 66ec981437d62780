#pragma once

// The window's form, built by hand in the shape of a generated form record: fixed
// geometry, no layout manager.

#include "app/mainwindow.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeySequence>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <QWidget>

QT_BEGIN_NAMESPACE

namespace Ui {

class MainWindow
{
public:
    QAction *actionOpen_Narc;
    QAction *actionWrite_To_Narc;
    QAction *actionExtract_all_to_Text;
    QAction *actionImport_all_from_files;
    QAction *actionExport_all_to_File;
    QAction *actionQuit;
    QAction *actionExport_all_to_PO_Template;
    QAction *actionImport_Translations_from_PO;
    QAction *actionFind_in_Archive;
    QAction *actionFind_Next;
    QAction *actionFind_Previous;
    QAction *actionReplace_in_Archive;
    QWidget *centralWidget;
    QPlainTextEdit *text;
    QComboBox *narcEntryIds;
    QComboBox *typeIds;
    QLabel *label;
    QLabel *label_3;
    QPushButton *pushButton;
    QProgressBar *progressBar;
    QLabel *label_2;
    QPlainTextEdit *report;
    QMenuBar *menuBar;
    QMenu *menuFile;
    QMenu *menuEdit;
    QToolBar *mainToolBar;
    QStatusBar *statusBar;

    void setupUi(QMainWindow *window)
    {
        if (window->objectName().isEmpty())
            window->setObjectName("MainWindow");
        window->resize(698, 582);

        actionOpen_Narc = new QAction(window);
        actionOpen_Narc->setObjectName("actionOpen_Narc");
        actionWrite_To_Narc = new QAction(window);
        actionWrite_To_Narc->setObjectName("actionWrite_To_Narc");
        actionExtract_all_to_Text = new QAction(window);
        actionExtract_all_to_Text->setObjectName("actionExtract_all_to_Text");
        actionImport_all_from_files = new QAction(window);
        actionImport_all_from_files->setObjectName("actionImport_all_from_files");
        actionExport_all_to_File = new QAction(window);
        actionExport_all_to_File->setObjectName("actionExport_all_to_File");
        actionQuit = new QAction(window);
        actionQuit->setObjectName("actionQuit");
        actionExport_all_to_PO_Template = new QAction(window);
        actionExport_all_to_PO_Template->setObjectName("actionExport_all_to_PO_Template");
        actionImport_Translations_from_PO = new QAction(window);
        actionImport_Translations_from_PO->setObjectName("actionImport_Translations_from_PO");
        actionFind_in_Archive = new QAction(window);
        actionFind_in_Archive->setObjectName("actionFind_in_Archive");
        actionFind_Next = new QAction(window);
        actionFind_Next->setObjectName("actionFind_Next");
        actionFind_Previous = new QAction(window);
        actionFind_Previous->setObjectName("actionFind_Previous");
        actionReplace_in_Archive = new QAction(window);
        actionReplace_in_Archive->setObjectName("actionReplace_in_Archive");
        actionOpen_Narc->setShortcut(QKeySequence::Open);
        actionWrite_To_Narc->setShortcut(QKeySequence::Save);
        // Some platforms define no standard key for quitting.
        const QList<QKeySequence> quitKeys = QKeySequence::keyBindings(QKeySequence::Quit);
        actionQuit->setShortcuts(quitKeys.isEmpty() ? QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Q)}
                                                    : quitKeys);
        actionFind_in_Archive->setShortcut(QKeySequence::Find);
        actionFind_Next->setShortcut(QKeySequence::FindNext);
        actionFind_Previous->setShortcut(QKeySequence::FindPrevious);
        // No standard key for replacing on every platform (X11 has none).
        actionReplace_in_Archive->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));

        centralWidget = new QWidget(window);
        centralWidget->setObjectName("centralWidget");
        text = new QPlainTextEdit(centralWidget);
        text->setObjectName("text");
        text->setGeometry(QRect(40, 70, 581, 241));
        text->setLineWrapMode(QPlainTextEdit::NoWrap);
        narcEntryIds = new QComboBox(centralWidget);
        narcEntryIds->setObjectName("narcEntryIds");
        narcEntryIds->setGeometry(QRect(40, 25, 181, 27));
        typeIds = new QComboBox(centralWidget);
        typeIds->setObjectName("typeIds");
        typeIds->setGeometry(QRect(230, 25, 181, 27));
        label = new QLabel(centralWidget);
        label->setObjectName("label");
        label->setGeometry(QRect(40, 5, 121, 17));
        label_3 = new QLabel(centralWidget);
        label_3->setObjectName("label_3");
        label_3->setGeometry(QRect(240, 5, 121, 17));
        pushButton = new QPushButton(centralWidget);
        pushButton->setObjectName("pushButton");
        pushButton->setGeometry(QRect(460, 20, 141, 31));
        progressBar = new QProgressBar(centralWidget);
        progressBar->setObjectName("progressBar");
        progressBar->setGeometry(QRect(360, 330, 221, 23));
        progressBar->setValue(0);
        label_2 = new QLabel(centralWidget);
        label_2->setObjectName("label_2");
        label_2->setGeometry(QRect(60, 330, 191, 21));
        report = new QPlainTextEdit(centralWidget);
        report->setObjectName("report");
        report->setGeometry(QRect(40, 360, 581, 161));
        report->setReadOnly(true);
        window->setCentralWidget(centralWidget);

        menuBar = new QMenuBar(window);
        menuBar->setObjectName("menuBar");
        menuBar->setGeometry(QRect(0, 0, 698, 23));
        menuFile = new QMenu(menuBar);
        menuFile->setObjectName("menuFile");
        menuEdit = new QMenu(menuBar);
        menuEdit->setObjectName("menuEdit");
        window->setMenuBar(menuBar);
        mainToolBar = new QToolBar(window);
        mainToolBar->setObjectName("mainToolBar");
        window->addToolBar(Qt::TopToolBarArea, mainToolBar);
        statusBar = new QStatusBar(window);
        statusBar->setObjectName("statusBar");
        window->setStatusBar(statusBar);

        menuBar->addAction(menuFile->menuAction());
        menuBar->addAction(menuEdit->menuAction());
        menuFile->addAction(actionOpen_Narc);
        menuFile->addAction(actionWrite_To_Narc);
        menuFile->addAction(actionExtract_all_to_Text);
        menuFile->addAction(actionImport_all_from_files);
        menuFile->addAction(actionExport_all_to_File);
        menuFile->addAction(actionExport_all_to_PO_Template);
        menuFile->addAction(actionImport_Translations_from_PO);
        // Entries added later go here, before the separator that sets off "Quit".
        menuFile->addSeparator();
        menuFile->addAction(actionQuit);
        menuEdit->addAction(actionFind_in_Archive);
        menuEdit->addAction(actionFind_Next);
        menuEdit->addAction(actionFind_Previous);
        menuEdit->addSeparator();
        menuEdit->addAction(actionReplace_in_Archive);

        retranslateUi(window);

        // The slots belong to ::MainWindow; a plain QMainWindow gets the form only.
        if (auto *receiver = qobject_cast<::MainWindow *>(window)) {
            QObject::connect(actionOpen_Narc, &QAction::triggered, receiver, &::MainWindow::openNarc);
            QObject::connect(narcEntryIds, &QComboBox::currentIndexChanged, receiver, &::MainWindow::loadEntryFromNarc);
            QObject::connect(typeIds, &QComboBox::currentIndexChanged, receiver, &::MainWindow::typeChanged);
            QObject::connect(actionWrite_To_Narc, &QAction::triggered, receiver, &::MainWindow::writeToNarc);
            QObject::connect(pushButton, &QPushButton::clicked, receiver, &::MainWindow::saveEntry);
            QObject::connect(actionExtract_all_to_Text, &QAction::triggered, receiver, &::MainWindow::exportToFiles);
            QObject::connect(actionImport_all_from_files, &QAction::triggered, receiver,
                             &::MainWindow::importFromFiles);
            QObject::connect(actionExport_all_to_File, &QAction::triggered, receiver, &::MainWindow::exportToFile);
            QObject::connect(actionExport_all_to_PO_Template, &QAction::triggered, receiver,
                             &::MainWindow::exportPoTemplate);
            QObject::connect(actionImport_Translations_from_PO, &QAction::triggered, receiver,
                             &::MainWindow::importPoTranslations);
            QObject::connect(actionFind_in_Archive, &QAction::triggered, receiver, &::MainWindow::showFindDialog);
            QObject::connect(actionFind_Next, &QAction::triggered, receiver, &::MainWindow::goToNextMatch);
            QObject::connect(actionFind_Previous, &QAction::triggered, receiver, &::MainWindow::goToPreviousMatch);
            QObject::connect(actionReplace_in_Archive, &QAction::triggered, receiver, &::MainWindow::showReplaceDialog);
            // Through closeEvent, so unsaved text and unwritten changes are asked about.
            QObject::connect(actionQuit, &QAction::triggered, receiver, &QWidget::close);
        }

        QMetaObject::connectSlotsByName(window);
    }

    void retranslateUi(QMainWindow *window)
    {
        window->setWindowTitle(QCoreApplication::translate("MainWindow", "MainWindow", nullptr));
        actionOpen_Narc->setText(QCoreApplication::translate("MainWindow", "Open Narc", nullptr));
        actionWrite_To_Narc->setText(QCoreApplication::translate("MainWindow", "Write To Narc", nullptr));
        actionExtract_all_to_Text->setText(QCoreApplication::translate("MainWindow", "Export all to Files", nullptr));
        actionImport_all_from_files->setText(QCoreApplication::translate("MainWindow", "Import all from files",
                                                                         nullptr));
        actionExport_all_to_File->setText(QCoreApplication::translate("MainWindow", "Export all to File", nullptr));
        actionQuit->setText(QCoreApplication::translate("MainWindow", "Quit", nullptr));
        actionExport_all_to_PO_Template->setText(QCoreApplication::translate("MainWindow",
                                                                             "Export all to PO Template...", nullptr));
        actionImport_Translations_from_PO->setText(QCoreApplication::translate("MainWindow",
                                                                               "Import Translations from PO...",
                                                                               nullptr));
        actionFind_in_Archive->setText(QCoreApplication::translate("MainWindow", "Find in Archive...", nullptr));
        actionFind_Next->setText(QCoreApplication::translate("MainWindow", "Find Next", nullptr));
        actionFind_Previous->setText(QCoreApplication::translate("MainWindow", "Find Previous", nullptr));
        actionReplace_in_Archive->setText(QCoreApplication::translate("MainWindow", "Replace in Archive...", nullptr));
        label->setText(QCoreApplication::translate("MainWindow", "Narc Entry", nullptr));
        label_3->setText(QCoreApplication::translate("MainWindow", "Type", nullptr));
        pushButton->setText(QCoreApplication::translate("MainWindow", "Save Text", nullptr));
        progressBar->setFormat(QCoreApplication::translate("MainWindow", "%v/%m:%p%", nullptr));
        label_2->setText(QCoreApplication::translate("MainWindow", "Not Active", nullptr));
        // Shown as "File" and "Edit"; Alt+F and Alt+E open them.
        menuFile->setTitle(QCoreApplication::translate("MainWindow", "&File", nullptr));
        menuEdit->setTitle(QCoreApplication::translate("MainWindow", "&Edit", nullptr));
    }
};

} // namespace Ui

QT_END_NAMESPACE
