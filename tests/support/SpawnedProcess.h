#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quonvera::test {

struct SpawnOptions {
    std::map<std::string, std::string> environment = {};       // added to or replacing the test's
    std::optional<std::filesystem::path> standardOutput = {};  // default: the test's
};

// A program a test starts and must stop: it runs in a process group of its own, and the whole
// group (with anything it started) is ended when this object goes away.
class SpawnedProcess {
public:
    // Starts `arguments` (the first looked up in PATH). Throws std::runtime_error naming the
    // program when it is not installed, so the test fails with a clear message.
    explicit SpawnedProcess(std::vector<std::string> arguments, SpawnOptions options = {});
    ~SpawnedProcess();
    SpawnedProcess(const SpawnedProcess&) = delete;
    SpawnedProcess& operator=(const SpawnedProcess&) = delete;

    // Whether the program is still running; collects its exit status once it is not.
    bool isRunning();
    // The exit code once it has ended on its own.
    std::optional<int> exitCode() const { return exitCode_; }
    // Ends the group (SIGTERM, then SIGKILL after a grace period) and waits for the program.
    void stop();

    // The full path of `program` found in PATH, or nothing.
    static std::optional<std::filesystem::path> findProgram(const std::string& program);

private:
    int pid_ = -1;
    std::optional<int> exitCode_;
};

}  // namespace quonvera::test
