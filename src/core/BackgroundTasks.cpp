#include "core/BackgroundTasks.h"

#include <condition_variable>

namespace quonvera {

BackgroundTasks::~BackgroundTasks() {
    std::list<Worker> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& worker : workers) worker.source->request_stop();
    for (auto& worker : workers)
        if (worker.thread.joinable()) worker.thread.join();
}

TaskHandle BackgroundTasks::run(std::function<void(std::stop_token)> work) {
    auto source = std::make_shared<std::stop_source>();
    return start(source, [source, work = std::move(work)] { work(source->get_token()); });
}

TaskHandle BackgroundTasks::start(std::shared_ptr<std::stop_source> source, std::function<void()> body) {
    reapFinished();
    auto finished = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([body = std::move(body), finished] {
        body();
        finished->store(true);
    });
    std::lock_guard lock(mutex_);
    workers_.push_back({source, finished, std::move(thread)});
    return TaskHandle(*source);
}

void BackgroundTasks::reapFinished() {
    std::list<Worker> done;
    {
        std::lock_guard lock(mutex_);
        for (auto it = workers_.begin(); it != workers_.end();) {
            auto next = std::next(it);
            if (it->finished->load()) done.splice(done.end(), workers_, it);
            it = next;
        }
    }
    for (auto& worker : done) worker.thread.join();
}

void BackgroundTasks::waitForAll() {
    std::list<Worker> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& worker : workers) worker.thread.join();
}

bool sleepFor(Duration duration, std::stop_token token) {
    std::mutex mutex;
    std::condition_variable_any cv;
    std::unique_lock lock(mutex);
    cv.wait_for(lock, token, duration, [] { return false; });
    return !token.stop_requested();
}

}  // namespace quonvera
