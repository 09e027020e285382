#include "core/ManualMainQueue.h"

#include <atomic>

namespace quonvera {

class ManualMainQueue::ManualTimer final : public Timer {
public:
    ManualTimer(std::function<void()> body, Duration every)
        : block(std::move(body)), interval(every) {}
    void invalidate() override { valid = false; }
    bool isValid() const override { return valid; }

    std::function<void()> block;
    Duration interval;  // zero for a one-shot timer
    std::atomic<bool> valid{true};
};

ManualMainQueue::ManualMainQueue() : now_(TimePoint{} + std::chrono::hours(1)) {}

ManualMainQueue::~ManualMainQueue() = default;

void ManualMainQueue::post(std::function<void()> block) {
    {
        std::lock_guard lock(mutex_);
        blocks_.push_back(std::move(block));
    }
    posted_.notify_all();
}

std::shared_ptr<Timer> ManualMainQueue::postAfter(Duration delay, std::function<void()> block) {
    auto timer = std::make_shared<ManualTimer>(std::move(block), Duration::zero());
    std::lock_guard lock(mutex_);
    timers_.emplace(std::make_pair(now_ + delay, sequence_++), timer);
    return timer;
}

std::shared_ptr<Timer> ManualMainQueue::scheduleRepeating(Duration interval, std::function<void()> block) {
    auto timer = std::make_shared<ManualTimer>(std::move(block), interval);
    std::lock_guard lock(mutex_);
    timers_.emplace(std::make_pair(now_ + interval, sequence_++), timer);
    return timer;
}

TimePoint ManualMainQueue::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

bool ManualMainQueue::runOneDue() {
    std::function<void()> block;
    std::shared_ptr<ManualTimer> timer;
    {
        std::lock_guard lock(mutex_);
        if (!blocks_.empty()) {
            block = std::move(blocks_.front());
            blocks_.pop_front();
        } else {
            auto first = timers_.begin();
            if (first == timers_.end() || first->first.first > now_) return false;
            timer = first->second;
            const TimePoint due = first->first.first;
            timers_.erase(first);
            if (!timer->valid) return true;
            if (timer->interval > Duration::zero()) {
                timers_.emplace(std::make_pair(due + timer->interval, sequence_++), timer);
            } else {
                timer->valid = false;
            }
        }
    }
    if (block) {
        block();
    } else {
        // Copy: the block may invalidate or release its own timer.
        auto timerBlock = timer->block;
        timerBlock();
    }
    return true;
}

int ManualMainQueue::runUntilIdle() {
    int count = 0;
    while (runOneDue()) ++count;
    return count;
}

void ManualMainQueue::advance(Duration by) {
    TimePoint target;
    {
        std::lock_guard lock(mutex_);
        target = now_ + by;
    }
    for (;;) {
        runUntilIdle();
        std::lock_guard lock(mutex_);
        auto first = timers_.begin();
        while (first != timers_.end() && !first->second->valid) first = timers_.erase(first);
        if (first == timers_.end() || first->first.first > target) break;
        now_ = first->first.first;
    }
    {
        std::lock_guard lock(mutex_);
        now_ = target;
    }
    runUntilIdle();
}

bool ManualMainQueue::waitFor(const std::function<bool()>& done, std::chrono::milliseconds realTimeout) {
    const auto deadline = std::chrono::steady_clock::now() + realTimeout;
    for (;;) {
        runUntilIdle();
        if (done()) return true;
        std::unique_lock lock(mutex_);
        if (!posted_.wait_until(lock, deadline, [this] { return !blocks_.empty(); })) {
            lock.unlock();
            runUntilIdle();
            return done();
        }
    }
}

std::size_t ManualMainQueue::pendingTimerCount() const {
    std::lock_guard lock(mutex_);
    std::size_t count = 0;
    for (const auto& [key, timer] : timers_)
        if (timer->valid) ++count;
    return count;
}

}  // namespace quonvera
