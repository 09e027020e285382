#include "support/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace quonvera::test {

ChildProcess::ChildProcess(const std::vector<std::string>& arguments,
                           const std::map<std::string, std::string>& extraEnvironment) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::dup2(fds[1], STDERR_FILENO);
        for (const auto& [name, value] : extraEnvironment) ::setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> argv;
        for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    outputFd_ = fds[0];
}

ChildProcess::~ChildProcess() {
    if (!exitStatus_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        waitForExit(std::chrono::seconds(5));
    }
    if (outputFd_ >= 0) ::close(outputFd_);
}

void ChildProcess::readAvailable(std::chrono::milliseconds wait) {
    pollfd descriptor{outputFd_, POLLIN, 0};
    if (::poll(&descriptor, 1, static_cast<int>(wait.count())) <= 0) return;
    char buffer[4096];
    const ssize_t count = ::read(outputFd_, buffer, sizeof buffer);
    if (count > 0) output_.append(buffer, static_cast<std::size_t>(count));
}

bool ChildProcess::waitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (output_.find(text) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        readAvailable(std::min(left, std::chrono::milliseconds(100)));
    }
    return true;
}

void ChildProcess::sendSignal(int signalNumber) {
    if (!exitStatus_) ::kill(pid_, signalNumber);
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!exitStatus_) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        readAvailable(std::chrono::milliseconds(20));
    }
    readAvailable(std::chrono::milliseconds(0));
    return exitStatus_;
}

const std::string& ChildProcess::output() {
    readAvailable(std::chrono::milliseconds(0));
    return output_;
}

}  // namespace quonvera::test
