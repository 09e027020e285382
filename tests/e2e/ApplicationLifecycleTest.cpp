// The real `quonvera` program: it starts, loads the stored settings and quits cleanly.

#include "support/ChildProcess.h"
#include "support/TemporaryFolder.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>

namespace quonvera::test {
namespace {

class ApplicationLifecycleTest : public ::testing::TestWithParam<int> {};

TEST_P(ApplicationLifecycleTest, StartsLoadsSettingsAndStopsCleanlyOnSignal) {
    TemporaryFolder home;
    std::filesystem::create_directories(home / "config" / "quonvera");
    std::ofstream(home / "config" / "quonvera" / "defaults.json")
        << R"({"com.quonvera.settings":"{\"language\":\"en\",\"launchAtLogin\":false,\"whisperModel\":\"small\"}"})";

    ChildProcess app({QUONVERA_BINARY}, {{"XDG_CONFIG_HOME", (home / "config").string()},
                                         {"XDG_DATA_HOME", (home / "data").string()},
                                         {"XDG_CACHE_HOME", (home / "cache").string()}});
    ASSERT_TRUE(app.waitForOutput("AppDelegate: Application launched")) << app.output();
    ASSERT_TRUE(app.waitForOutput("(model small, hotkey fn)")) << app.output();

    app.sendSignal(GetParam());
    EXPECT_EQ(app.waitForExit(), 0) << app.output();
    EXPECT_NE(app.output().find("AppDelegate: Application terminating"), std::string::npos) << app.output();
}

INSTANTIATE_TEST_SUITE_P(Signals, ApplicationLifecycleTest, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& info) { return info.param == SIGINT ? std::string("SIGINT") : std::string("SIGTERM"); });

}  // namespace
}  // namespace quonvera::test
