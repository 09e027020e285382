#include "core/BackgroundTasks.h"
#include "core/Log.h"
#include "core/ManualMainQueue.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace quonvera {
namespace {

using namespace std::chrono_literals;

TEST(BackgroundTasksTest, CompletionRunsOnTheMainQueueWithTheResult) {
    ManualMainQueue queue;
    BackgroundTasks tasks(queue);
    const auto mainThread = std::this_thread::get_id();
    std::thread::id workThread;
    std::optional<int> result;
    tasks.run<int>(
        [&](std::stop_token) {
            workThread = std::this_thread::get_id();
            return 42;
        },
        [&](int value) {
            EXPECT_EQ(std::this_thread::get_id(), mainThread);
            result = value;
        });
    ASSERT_TRUE(queue.waitFor([&] { return result.has_value(); }));
    EXPECT_EQ(*result, 42);
    EXPECT_NE(workThread, mainThread);
}

TEST(BackgroundTasksTest, CancelledTaskStopsPromptlyAndNotifiesNobody) {
    ManualMainQueue queue;
    BackgroundTasks tasks(queue);
    std::atomic<bool> sawStop{false};
    bool notified = false;
    auto handle = tasks.run<bool>(
        [&](std::stop_token token) {
            const bool finished = sleepFor(seconds(30), token);
            sawStop = !finished;
            return finished;
        },
        [&](bool) { notified = true; });
    const auto before = std::chrono::steady_clock::now();
    handle.cancel();
    tasks.waitForAll();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    queue.runUntilIdle();
    EXPECT_TRUE(sawStop);
    EXPECT_FALSE(notified);
}

TEST(BackgroundTasksTest, CancellingAfterTheWorkFinishedStillSuppressesTheQueuedCompletion) {
    ManualMainQueue queue;
    BackgroundTasks tasks(queue);
    bool notified = false;
    auto handle = tasks.run<int>([](std::stop_token) { return 1; }, [&](int) { notified = true; });
    tasks.waitForAll();  // the completion is now queued but has not run
    handle.cancel();
    queue.runUntilIdle();
    EXPECT_FALSE(notified);
}

TEST(BackgroundTasksTest, DestroyingTheRunnerStopsRunningWork) {
    ManualMainQueue queue;
    std::atomic<bool> stopped{false};
    {
        BackgroundTasks tasks(queue);
        tasks.run([&](std::stop_token token) { stopped = !sleepFor(seconds(30), token); });
    }
    EXPECT_TRUE(stopped);
}

TEST(LogTest, CaptureCollectsWholeLinesFromAnyThread) {
    LogCapture capture;
    std::thread worker([] { logLine("Worker: one"); });
    worker.join();
    logLine("Main: two");
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{"Worker: one", "Main: two"}));
    EXPECT_TRUE(capture.contains("Main: two"));
    EXPECT_EQ(capture.linesStartingWith("Worker:").size(), 1u);
}

}  // namespace
}  // namespace quonvera
