#include "support/QtEventLoop.h"

#include <QCoreApplication>

namespace quonvera::test {

void ensureQtApplication() {
    static int argc = 1;
    static char name[] = "quonvera_test";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
}

bool pumpQtEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done() && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

}  // namespace quonvera::test
