// The floor for start-up: a bare Qt Widgets window of the program's size, shown at once.

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setFixedSize(505, 250);
    window.show();
    return QApplication::exec();
}
