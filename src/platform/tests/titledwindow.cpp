// Test fixture: shows one window titled argv[1] and exits when it is closed.
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QWidget w;
    w.setWindowTitle(QString::fromUtf8(argc > 1 ? argv[1] : "untitled"));
    w.resize(200, 100);
    w.show();
    // Tell the test once the window is mapped and its title set.
    QTimer::singleShot(0, [] {
        std::puts("shown");
        std::fflush(stdout);
    });
    return app.exec();
}
