// The application with a scripted recognizer in place of whisper.cpp, for the end-to-end tests
// of streaming dictation. Built only with the tests.
//
// QUONVERA_SCRIPTED_PARTIALS names the file of streaming results, QUONVERA_SCRIPTED_FINAL the
// file with the text of whole recordings (see ScriptedRecognizer.h).

#include "ScriptedRecognizer.h"
#include "app/AppDelegate.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const char* partials = std::getenv("QUONVERA_SCRIPTED_PARTIALS");
    const char* final = std::getenv("QUONVERA_SCRIPTED_FINAL");
    if (!partials || !final) {
        std::fputs("QUONVERA_SCRIPTED_PARTIALS and QUONVERA_SCRIPTED_FINAL must name the script files\n", stderr);
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quonvera");
    QApplication::setQuitOnLastWindowClosed(false);
    quonvera::AppDelegate delegate(std::make_shared<quonvera::test::ScriptedRecognizerFactory>(partials, final));
    delegate.applicationDidFinishLaunching();
    const int status = QApplication::exec();
    delegate.applicationWillTerminate();
    return status;
}
