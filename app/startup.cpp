#include "app/startup.h"

#include "app/app_state.h"
#include "app/probe.h"
#include "parse/fetch.h"
#include "ui/handlers.h"
#include "ui/main_window.h"
#include "ui/toolkit.h"

#include <QApplication>
#include <QPointer>

#include <cstdlib>

void onWindowCreated() {
    if (probeConnection() == 1) {
        caretToEnd();
        return;
    }
    showError("网络连接失败! 为了避免出错,程序即将退出。");
    pause(3000);
    exitProgram(0);
}

int runProgram(int argc, char** argv) {
    initAppState();
    std::atexit(releaseAppState);

    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QPointer<MainWindow> window = new MainWindow();
    QObject::connect(window, &QObject::destroyed, &application, &QCoreApplication::quit);
    onWindowCreated();

    if (window) {
        window->showCentred();
        QApplication::exec();
    }
    delete window; // a window still open when the loop ends goes with the program

    releaseAppState();
    closeFetchContext();
    return 0;
}
