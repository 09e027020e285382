#pragma once

#include "core/MainQueue.h"

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

namespace quonvera {

// Cancels one background task. Cancelling on the main thread guarantees that the task's
// completion will not run, even if the work already finished and its completion is queued.
class TaskHandle {
public:
    TaskHandle() = default;
    explicit TaskHandle(std::stop_source source) : source_(std::move(source)) {}
    void cancel() {
        if (source_.stop_possible()) source_.request_stop();
    }
    bool isCancelled() const { return source_.stop_requested(); }
    bool isValid() const { return source_.stop_possible(); }

private:
    std::stop_source source_{std::nostopstate};
};

// Runs work on worker threads with cooperative cancellation and resumes on the main queue.
// Destroying it asks every running task to stop and waits for them.
class BackgroundTasks {
public:
    explicit BackgroundTasks(MainQueue& mainQueue) : mainQueue_(mainQueue) {}
    ~BackgroundTasks();
    BackgroundTasks(const BackgroundTasks&) = delete;
    BackgroundTasks& operator=(const BackgroundTasks&) = delete;

    // Runs `work` on a worker thread.
    TaskHandle run(std::function<void(std::stop_token)> work);

    // Runs `work` on a worker thread, then `onMain` with its result on the main queue, unless
    // the task was cancelled by then.
    template <typename R>
    TaskHandle run(std::function<R(std::stop_token)> work, std::function<void(R)> onMain) {
        auto source = std::make_shared<std::stop_source>();
        MainQueue* queue = &mainQueue_;
        return start(source, [source, queue, work = std::move(work), onMain = std::move(onMain)]() mutable {
            const std::stop_token token = source->get_token();
            auto result = std::make_shared<R>(work(token));
            if (token.stop_requested()) return;
            queue->post([source, result, onMain = std::move(onMain)] {
                if (!source->stop_requested()) onMain(std::move(*result));
            });
        });
    }

    MainQueue& mainQueue() { return mainQueue_; }
    // Waits until every task started so far has returned (tests and shutdown).
    void waitForAll();

private:
    struct Worker {
        std::shared_ptr<std::stop_source> source;
        std::shared_ptr<std::atomic<bool>> finished;
        std::thread thread;
    };

    TaskHandle start(std::shared_ptr<std::stop_source> source, std::function<void()> body);
    void reapFinished();

    MainQueue& mainQueue_;
    std::mutex mutex_;
    std::list<Worker> workers_;
};

// Sleeps for `duration` or until `token` asks to stop. Returns false when stopped.
bool sleepFor(Duration duration, std::stop_token token);

}  // namespace quonvera
