#pragma once

#include <chrono>
#include <functional>

namespace quonvera::test {

// Creates the Qt application object that the Qt-based platform pieces need, once per program.
void ensureQtApplication();

// Runs Qt's event loop (the application's main queue) until `done` or `timeout`; returns `done()`.
bool pumpQtEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// Runs Qt's event loop for `duration`.
inline void pumpQtEventsFor(std::chrono::milliseconds duration) {
    pumpQtEventsUntil([] { return false; }, duration);
}

}  // namespace quonvera::test
