#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace quonvera {

using Duration = std::chrono::nanoseconds;
using TimePoint = std::chrono::steady_clock::time_point;

inline constexpr Duration seconds(double s) {
    return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(s));
}

// A scheduled one-shot or repeating block on the main queue. Invalidating it stops any
// future firing; it is safe to call from inside its own block and more than once.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void invalidate() = 0;
    virtual bool isValid() const = 0;
};

// The one thread that owns all application state. `post` may be called from any thread;
// blocks run in the order they were posted. Timers are created and invalidated on the main
// thread.
class MainQueue {
public:
    virtual ~MainQueue() = default;

    virtual void post(std::function<void()> block) = 0;
    virtual std::shared_ptr<Timer> postAfter(Duration delay, std::function<void()> block) = 0;
    virtual std::shared_ptr<Timer> scheduleRepeating(Duration interval, std::function<void()> block) = 0;
    virtual TimePoint now() const = 0;
};

}  // namespace quonvera
