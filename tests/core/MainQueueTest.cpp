#include "core/ManualMainQueue.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace quonvera {
namespace {

TEST(ManualMainQueueTest, PostedBlocksRunInOrderOnlyWhenDriven) {
    ManualMainQueue queue;
    std::vector<int> order;
    queue.post([&] { order.push_back(1); });
    queue.post([&] {
        order.push_back(2);
        queue.post([&] { order.push_back(4); });  // posted while running: runs after what was queued
    });
    queue.post([&] { order.push_back(3); });
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(queue.runUntilIdle(), 4);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST(ManualMainQueueTest, DelayedBlocksFireAtTheirVirtualTimeInOrder) {
    ManualMainQueue queue;
    std::vector<std::string> fired;
    queue.postAfter(seconds(3.0), [&] { fired.push_back("3s"); });
    queue.postAfter(seconds(1.0), [&] { fired.push_back("1s"); });
    queue.postAfter(seconds(1.0), [&] { fired.push_back("1s again"); });
    queue.advance(seconds(2.999));
    EXPECT_EQ(fired, (std::vector<std::string>{"1s", "1s again"}));
    queue.advance(seconds(0.001));
    EXPECT_EQ(fired.back(), "3s");
}

TEST(ManualMainQueueTest, TimerFiresAtItsOwnTimeWithinOneAdvance) {
    ManualMainQueue queue;
    const TimePoint start = queue.now();
    TimePoint seenAt{};
    queue.postAfter(seconds(1.5), [&] { seenAt = queue.now(); });
    queue.advance(seconds(10));
    EXPECT_EQ(seenAt - start, seconds(1.5));
    EXPECT_EQ(queue.now() - start, seconds(10));
}

TEST(ManualMainQueueTest, InvalidatedTimersNeverFire) {
    ManualMainQueue queue;
    int oneShot = 0;
    int repeating = 0;
    auto timer = queue.postAfter(seconds(1), [&] { ++oneShot; });
    auto repeat = queue.scheduleRepeating(seconds(2), [&] { ++repeating; });
    timer->invalidate();
    queue.advance(seconds(5));
    EXPECT_EQ(oneShot, 0);
    EXPECT_EQ(repeating, 2);
    repeat->invalidate();
    EXPECT_FALSE(repeat->isValid());
    queue.advance(seconds(10));
    EXPECT_EQ(repeating, 2);
    EXPECT_EQ(queue.pendingTimerCount(), 0u);
}

TEST(ManualMainQueueTest, RepeatingTimerMayInvalidateItselfAndOneShotBecomesInvalidAfterFiring) {
    ManualMainQueue queue;
    int ticks = 0;
    std::shared_ptr<Timer> repeat;
    repeat = queue.scheduleRepeating(seconds(2), [&] {
        if (++ticks == 3) repeat->invalidate();
    });
    auto once = queue.postAfter(seconds(1), [] {});
    queue.advance(seconds(20));
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(once->isValid());
}

TEST(ManualMainQueueTest, WaitForRunsPostsFromOtherThreads) {
    ManualMainQueue queue;
    bool done = false;
    std::thread worker([&] { queue.post([&] { done = true; }); });
    EXPECT_TRUE(queue.waitFor([&] { return done; }));
    worker.join();
}

}  // namespace
}  // namespace quonvera
