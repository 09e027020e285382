#pragma once

#include <functional>

namespace quonvera {

// Watches whether the machine has a usable network connection.
class NetworkMonitor {
public:
    using Handler = std::function<void(bool connected)>;
    virtual ~NetworkMonitor() = default;
    // Starts watching. `handler` runs on the monitor's own thread: once shortly after the start
    // with the current state, then on every change. Call at most once.
    virtual void start(Handler handler) = 0;
    // Stops watching. When it returns, the handler is not running and will not run again.
    virtual void cancel() = 0;
};

}  // namespace quonvera
