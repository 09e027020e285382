#pragma once

#include "core/MainQueue.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>

namespace quonvera {

// A main queue whose clock only moves when told to. Tests drive it: `runUntilIdle` runs
// everything that is due now, `advance` moves virtual time forward firing timers in order.
// Posts from other threads are accepted and wake `waitFor`.
class ManualMainQueue final : public MainQueue {
public:
    ManualMainQueue();
    ~ManualMainQueue() override;

    void post(std::function<void()> block) override;
    std::shared_ptr<Timer> postAfter(Duration delay, std::function<void()> block) override;
    std::shared_ptr<Timer> scheduleRepeating(Duration interval, std::function<void()> block) override;
    TimePoint now() const override;

    // Runs posted blocks and due timers until nothing is due at the current virtual time.
    // Returns the number of blocks run.
    int runUntilIdle();
    // Moves virtual time forward by `by`, running each timer at its own due time.
    void advance(Duration by);
    // Runs the queue, waiting in real time for posts from other threads, until `done`
    // returns true or `realTimeout` passes. Returns `done()`.
    bool waitFor(const std::function<bool()>& done,
                 std::chrono::milliseconds realTimeout = std::chrono::milliseconds(5000));
    std::size_t pendingTimerCount() const;

private:
    class ManualTimer;

    bool runOneDue();

    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> blocks_;
    // Ordered by due time, then by scheduling order.
    std::multimap<std::pair<TimePoint, std::uint64_t>, std::shared_ptr<ManualTimer>> timers_;
    std::uint64_t sequence_ = 0;
    TimePoint now_;
};

}  // namespace quonvera
