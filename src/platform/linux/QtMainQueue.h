#pragma once

#include "core/MainQueue.h"

class QObject;

namespace quonvera {

// The main queue of the running application: blocks run on the thread of Qt's event loop.
class QtMainQueue final : public MainQueue {
public:
    // `context` lives on the main thread for as long as the queue is used.
    explicit QtMainQueue(QObject* context);

    void post(std::function<void()> block) override;
    std::shared_ptr<Timer> postAfter(Duration delay, std::function<void()> block) override;
    std::shared_ptr<Timer> scheduleRepeating(Duration interval, std::function<void()> block) override;
    TimePoint now() const override;

private:
    QObject* context_;
};

}  // namespace quonvera
