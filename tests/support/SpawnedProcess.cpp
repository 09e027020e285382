#include "support/SpawnedProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace quonvera::test {

std::optional<std::filesystem::path> SpawnedProcess::findProgram(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        return access(program.c_str(), X_OK) == 0 ? std::optional<std::filesystem::path>(program) : std::nullopt;
    }
    const char* path = std::getenv("PATH");
    std::string directories = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= directories.size()) {
        const std::size_t end = std::min(directories.find(':', start), directories.size());
        const std::filesystem::path candidate = std::filesystem::path(directories.substr(start, end - start)) / program;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return std::nullopt;
}

SpawnedProcess::SpawnedProcess(std::vector<std::string> arguments, SpawnOptions options) {
    if (arguments.empty()) {
        throw std::runtime_error("SpawnedProcess: no program given");
    }
    const auto program = findProgram(arguments[0]);
    if (!program) {
        throw std::runtime_error(arguments[0] + " is not installed (scripts/install-deps.sh installs what the tests need)");
    }

    std::map<std::string, std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const auto equals = text.find('=');
        if (equals != std::string::npos) {
            environment[text.substr(0, equals)] = text.substr(equals + 1);
        }
    }
    for (const auto& [name, value] : options.environment) {
        environment[name] = value;
    }
    std::vector<std::string> environmentEntries;
    for (const auto& [name, value] : environment) {
        environmentEntries.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (auto& entry : environmentEntries) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.standardOutput) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, options.standardOutput->c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const int failed = posix_spawn(&pid_, program->c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) {
        pid_ = -1;
        throw std::runtime_error("could not start " + arguments[0] + ": " + std::strerror(failed));
    }
}

SpawnedProcess::~SpawnedProcess() { stop(); }

bool SpawnedProcess::isRunning() {
    if (pid_ < 0 || exitCode_) {
        return false;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        kill(-pid_, SIGTERM);  // whatever it left behind in its group
        return false;
    }
    return true;
}

void SpawnedProcess::stop() {
    if (pid_ < 0) {
        return;
    }
    if (isRunning()) {
        kill(-pid_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (isRunning() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (isRunning()) {
            kill(-pid_, SIGKILL);
            int status = 0;
            waitpid(pid_, &status, 0);
            exitCode_ = 128 + SIGKILL;
        }
    }
    // Members of the group that outlived its leader.
    kill(-pid_, SIGKILL);
    pid_ = -1;
}

}  // namespace quonvera::test
