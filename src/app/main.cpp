// The Zelbrin workbench.
#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    zelbrin::ui::TMainForm window;
    window.show();
    return app.exec();
}
