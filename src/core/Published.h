#pragma once

#include "core/Subscription.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace quonvera {

enum class Delivery { includeCurrent, skipCurrent };

// An observable value. Setting it first delivers the new value to every subscriber and then
// stores it, so a subscriber that reads the value during its notification still sees the
// previous one. Subscribing and cancelling during a notification is allowed. Main thread only.
template <typename T>
class Published {
public:
    using Observer = std::function<void(const T&)>;

    Published() : state_(std::make_shared<State>()) {}
    explicit Published(T initial) : state_(std::make_shared<State>(std::move(initial))) {}
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    const T& get() const { return state_->value; }
    operator const T&() const { return get(); }

    void set(T newValue) {
        auto observers = state_->observers;  // a snapshot: the list may change while notifying
        for (const auto& entry : observers)
            if (*entry.alive) entry.observer(newValue);
        state_->value = std::move(newValue);
    }
    Published& operator=(T newValue) {
        set(std::move(newValue));
        return *this;
    }

    [[nodiscard]] Subscription subscribe(Observer observer, Delivery delivery = Delivery::includeCurrent) {
        auto alive = std::make_shared<bool>(true);
        const std::uint64_t id = state_->nextId++;
        state_->observers.push_back({id, alive, observer});
        if (delivery == Delivery::includeCurrent) observer(state_->value);
        std::weak_ptr<State> weakState = state_;
        return Subscription([weakState, alive, id] {
            *alive = false;
            if (auto state = weakState.lock()) std::erase_if(state->observers, [id](const Entry& e) { return e.id == id; });
        });
    }

private:
    struct Entry {
        std::uint64_t id;
        std::shared_ptr<bool> alive;
        Observer observer;
    };
    struct State {
        State() = default;
        explicit State(T v) : value(std::move(v)) {}
        T value{};
        std::vector<Entry> observers;
        std::uint64_t nextId = 0;
    };
    std::shared_ptr<State> state_;
};

// Delivers the latest pair of values whenever either changes, starting after the combination
// current at the time of subscribing.
template <typename A, typename B>
[[nodiscard]] SubscriptionSet combineLatestSkippingCurrent(Published<A>& a, Published<B>& b,
                                                           std::function<void(const A&, const B&)> observer) {
    SubscriptionSet subscriptions;
    subscriptions.push_back(a.subscribe([&b, observer](const A& newA) { observer(newA, b.get()); }, Delivery::skipCurrent));
    subscriptions.push_back(b.subscribe([&a, observer](const B& newB) { observer(a.get(), newB); }, Delivery::skipCurrent));
    return subscriptions;
}

}  // namespace quonvera
