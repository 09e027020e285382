#include "platform/linux/QtMainQueue.h"

#include <QMetaObject>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <chrono>

namespace quonvera {
namespace {

class QtTimerHandle final : public Timer {
public:
    void invalidate() override { valid = false; }
    bool isValid() const override { return valid; }
    std::atomic<bool> valid{true};
};

int milliseconds(Duration duration) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(duration).count();
    return static_cast<int>(std::max<long long>(0, ms));
}

}  // namespace

QtMainQueue::QtMainQueue(QObject* context) : context_(context) {}

void QtMainQueue::post(std::function<void()> block) {
    QMetaObject::invokeMethod(context_, std::move(block), Qt::QueuedConnection);
}

std::shared_ptr<Timer> QtMainQueue::postAfter(Duration delay, std::function<void()> block) {
    auto handle = std::make_shared<QtTimerHandle>();
    QObject* context = context_;
    post([context, delay, handle, block = std::move(block)]() mutable {
        QTimer::singleShot(milliseconds(delay), Qt::PreciseTimer, context, [handle, block = std::move(block)] {
            if (handle->valid.exchange(false)) block();
        });
    });
    return handle;
}

std::shared_ptr<Timer> QtMainQueue::scheduleRepeating(Duration interval, std::function<void()> block) {
    auto handle = std::make_shared<QtTimerHandle>();
    QObject* context = context_;
    post([context, interval, handle, block = std::move(block)] {
        auto* timer = new QTimer(context);
        timer->setTimerType(Qt::PreciseTimer);
        timer->setInterval(milliseconds(interval));
        QObject::connect(timer, &QTimer::timeout, context, [timer, handle, block] {
            if (!handle->valid) {
                timer->stop();
                timer->deleteLater();
                return;
            }
            block();
        });
        timer->start();
    });
    return handle;
}

TimePoint QtMainQueue::now() const { return std::chrono::steady_clock::now(); }

}  // namespace quonvera
