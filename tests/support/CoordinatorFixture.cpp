#include "support/CoordinatorFixture.h"

namespace quonvera::test {

CoordinatorFixture::CoordinatorFixture() {
    coordinator = AppCoordinator::create(AppCoordinatorServices{
        queue, tasks, notifications, settings, hotkey, audio, router, insertion, history, analytics, enhancement,
        permissions, sounds, clipboard});
    stateSubscription_ =
        coordinator->appState.subscribe([this](const AppState& state) { states.push_back(state); }, Delivery::skipCurrent);
}

CoordinatorFixture::~CoordinatorFixture() { tasks.waitForAll(); }

void CoordinatorFixture::settleBackgroundWork() {
    tasks.waitForAll();
    queue.runUntilIdle();
}

void CoordinatorFixture::setState(AppState state) {
    coordinator->appState = std::move(state);
    markStates();
}

std::vector<AppState> CoordinatorFixture::statesSinceMark() const {
    return {states.begin() + static_cast<std::ptrdiff_t>(stateMark), states.end()};
}

}  // namespace quonvera::test
