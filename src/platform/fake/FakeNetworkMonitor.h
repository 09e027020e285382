#pragma once

#include "platform/NetworkMonitor.h"

#include <mutex>

namespace quonvera {

// A network whose state the test sets. Changes are reported synchronously on the caller's thread.
class FakeNetworkMonitor final : public NetworkMonitor {
public:
    void start(Handler handler) override {
        std::lock_guard lock(mutex_);
        handler_ = std::move(handler);
    }
    void cancel() override {
        std::lock_guard lock(mutex_);
        handler_ = nullptr;
    }
    // Reports a change to the started handler (if any).
    void setConnected(bool connected) {
        std::lock_guard lock(mutex_);
        if (handler_) handler_(connected);
    }
    bool isStarted() const {
        std::lock_guard lock(mutex_);
        return static_cast<bool>(handler_);
    }

private:
    mutable std::mutex mutex_;
    Handler handler_;
};

}  // namespace quonvera
