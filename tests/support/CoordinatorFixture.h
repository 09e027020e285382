#pragma once

#include "app/AppCoordinator.h"
#include "core/Log.h"
#include "core/ManualMainQueue.h"
#include "platform/fake/InMemoryUserDefaults.h"
#include "support/FakeCoordinatorServices.h"
#include "core/Uuid.h"

#include <algorithm>

#include <gtest/gtest.h>

#include <ostream>

namespace quonvera {
inline void PrintTo(const AppState& state, std::ostream* out) { *out << describe(state); }
}  // namespace quonvera

namespace quonvera::test {

// A coordinator wired to fakes on a virtual-time main queue. The coordinator is created but
// not started; `states` lists every value `appState` took, in order.
class CoordinatorFixture : public ::testing::Test {
protected:
    CoordinatorFixture();
    ~CoordinatorFixture() override;

    // Runs everything due now on the main queue.
    void settle() { queue.runUntilIdle(); }
    // Runs the main queue until the enhancement task (a real thread) has come back.
    void settleBackgroundWork();
    void setState(AppState state);
    std::vector<AppState> statesSinceMark() const;
    void markStates() { stateMark = states.size(); }

    CallLog calls;
    LogCapture log;
    ManualMainQueue queue;
    BackgroundTasks tasks{queue};
    NotificationCenter notifications;
    InMemoryUserDefaults defaults;
    std::shared_ptr<Settings> settings = Settings::load(defaults);
    std::shared_ptr<FakeHotkeyManager> hotkey = std::make_shared<FakeHotkeyManager>(calls);
    std::shared_ptr<FakeAudioEngine> audio = std::make_shared<FakeAudioEngine>(calls);
    std::shared_ptr<FakeTranscriptionEngine> router = std::make_shared<FakeTranscriptionEngine>(calls);
    std::shared_ptr<FakeTextInsertion> insertion = std::make_shared<FakeTextInsertion>(calls);
    std::shared_ptr<FakeHistory> history = std::make_shared<FakeHistory>();
    std::shared_ptr<FakeAnalytics> analytics = std::make_shared<FakeAnalytics>();
    std::shared_ptr<FakeEnhancement> enhancement = std::make_shared<FakeEnhancement>();
    std::shared_ptr<FakePermissionManager> permissions = std::make_shared<FakePermissionManager>();
    std::shared_ptr<FakeSounds> sounds = std::make_shared<FakeSounds>(calls);
    std::shared_ptr<FakeClipboard> clipboard = std::make_shared<FakeClipboard>();
    std::shared_ptr<AppCoordinator> coordinator;
    std::vector<AppState> states;
    std::size_t stateMark = 0;

private:
    Subscription stateSubscription_;
};

}  // namespace quonvera::test
