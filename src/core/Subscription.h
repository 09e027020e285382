#pragma once

#include <functional>
#include <utility>
#include <vector>

namespace quonvera {

// Ends a subscription when destroyed or cancelled (like a cancellable token).
class Subscription {
public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            cancel();
            cancel_ = std::exchange(other.cancel_, nullptr);
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { cancel(); }

    void cancel() {
        if (auto c = std::exchange(cancel_, nullptr)) c();
    }

private:
    std::function<void()> cancel_;
};

using SubscriptionSet = std::vector<Subscription>;

}  // namespace quonvera
