#include "app/AppDelegate.h"
#include "platform/linux/LocalRecognizerFactory.h"
#include "platform/linux/XdgAppDirectories.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quonvera");
    QApplication::setQuitOnLastWindowClosed(false);
    quonvera::AppDelegate delegate(quonvera::makeLocalRecognizerFactory(quonvera::xdgAppDirectories()));
    delegate.applicationDidFinishLaunching();
    const int status = QApplication::exec();
    delegate.applicationWillTerminate();
    return status;
}
