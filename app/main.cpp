#include "mainwindow.h"

#include <QApplication>

using namespace core;

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    MainWindow window;
    window.show();
    return application.exec();
}
