#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quonvera::test {

// A program started by a test, with its standard output and error collected. Killed when
// destroyed if still running.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& arguments, const std::map<std::string, std::string>& extraEnvironment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads output until `text` has appeared or `timeout` passed; true when it appeared.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    void sendSignal(int signalNumber);
    // The exit status (or 128 + signal), nullopt when it did not end within `timeout`.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    const std::string& output();
    pid_t pid() const { return pid_; }

private:
    void readAvailable(std::chrono::milliseconds wait);

    pid_t pid_ = -1;
    int outputFd_ = -1;
    std::string output_;
    std::optional<int> exitStatus_;
};

}  // namespace quonvera::test
