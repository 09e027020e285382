#include "support/ModelFileServer.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quonvera::test {

ModelFileServer::ModelFileServer(std::optional<std::uint64_t> cutFirstResponseAfter) : root_(folder_ / "files") {
    std::filesystem::create_directories(root_);
    const auto portFile = folder_ / "port";
    const std::string script = std::string(QUONVERA_TEST_SUPPORT_DIR) + "/model_file_server.py";
    std::vector<std::string> arguments = {"python3", script, "--root", root_.string(), "--port-file", portFile.string(),
                                          "--log", (folder_ / "requests.log").string()};
    if (cutFirstResponseAfter) {
        arguments.push_back("--cut-after");
        arguments.push_back(std::to_string(*cutFirstResponseAfter));
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        std::vector<char*> argv;
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        ::execvp("python3", argv.data());
        ::_exit(127);
    }
    if (pid_ < 0) {
        failure_ = "cannot start the model file server: fork failed";
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream in(portFile);
        std::string port;
        if (in >> port) {
            baseUrl_ = "http://127.0.0.1:" + port;
            return;
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            failure_ = "the model file server (python3 " + script + ") exited at start-up";
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    failure_ = "the model file server did not report its port within 15 s";
}

ModelFileServer::~ModelFileServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
}

std::vector<std::string> ModelFileServer::requests() const {
    std::vector<std::string> lines;
    std::ifstream in(folder_ / "requests.log");
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace quonvera::test
