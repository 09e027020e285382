#include "app/AppDelegate.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quonvera");
    QApplication::setQuitOnLastWindowClosed(false);
    quonvera::AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    const int status = QApplication::exec();
    delegate.applicationWillTerminate();
    return status;
}
