// The Zelbrin workbench: zelbrin [PROJECT.zlp]
#include "imagelist.h"
#include "mainwindow.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(zelbrin::ui::programIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("zelbrin"));
    zelbrin::ui::loadChineseQtTranslations();
    zelbrin::ui::MainWindow window;
    window.show();
    zelbrin::ui::openCommandLineProject(window, QApplication::arguments());
    return app.exec();
}
