#include "support/CloudServiceStandIn.h"

#include "platform/linux/LibcurlHttpClient.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quonvera::test {
namespace {

std::string base64Decode(const std::string& text) {
    static constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    unsigned buffer = 0;
    int bits = 0;
    for (char c : text) {
        const auto value = alphabet.find(c);
        if (value == std::string_view::npos) continue;  // padding
        buffer = (buffer << 6) | static_cast<unsigned>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<char>((buffer >> bits) & 0xFF));
        }
    }
    return bytes;
}

nlohmann::json toJson(const StandInResponse& response) {
    nlohmann::json headers = nlohmann::json::object();
    for (const auto& [name, value] : response.headers) headers[name] = value;
    return {{"status", response.status},
            {"body", response.body},
            {"headers", headers},
            {"delay", response.delaySeconds},
            {"drop", response.drop}};
}

// Reads the first line the stand-in prints, waiting at most `timeout`.
std::string readFirstLine(int fd, std::chrono::milliseconds timeout) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd entry{fd, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(left.count())) <= 0) continue;
        char chunk[256];
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got <= 0) break;
        line.append(chunk, static_cast<size_t>(got));
    }
    return line.substr(0, line.find('\n'));
}

}  // namespace

CloudServiceStandIn::CloudServiceStandIn() {
    const std::string script = std::string(QUONVERA_TEST_SUPPORT_DIR) + "/cloud_service_standin.py";
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) throw std::runtime_error("cloud service stand-in: pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    std::string program = "python3";
    std::vector<char*> argv = {program.data(), const_cast<char*>(script.c_str()), nullptr};
    const int spawned = posix_spawnp(&pid_, "python3", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    output_ = pipeEnds[0];
    if (spawned != 0) {
        close(output_);
        throw std::runtime_error("cloud service stand-in: cannot run python3 (" + std::string(std::strerror(spawned)) +
                                 "); scripts/install-deps.sh installs it");
    }
    const std::string line = readFirstLine(output_, std::chrono::seconds(20));
    const auto colon = line.rfind(':');
    if (!line.starts_with("listening on ") || colon == std::string::npos) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        close(output_);
        throw std::runtime_error("cloud service stand-in did not start (" + script + "): \"" + line + "\"");
    }
    port_ = std::stoi(line.substr(colon + 1));
}

CloudServiceStandIn::~CloudServiceStandIn() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    close(output_);
}

std::string CloudServiceStandIn::baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

HttpResponse CloudServiceStandIn::control(const std::string& method, const std::string& path,
                                          const std::string& body) const {
    LibcurlHttpClient http;
    HttpRequest request;
    request.method = method;
    request.url = baseUrl() + path;
    request.body = body;
    if (!body.empty()) request.headers = {{"Content-Type", "application/json"}};
    auto response = http.send(request, {});
    if (!response.ok() || response.value().statusCode >= 300)
        throw std::runtime_error("cloud service stand-in: control request " + path + " failed: " +
                                 (response.ok() ? std::to_string(response.value().statusCode) : response.error().message));
    return response.value();
}

void CloudServiceStandIn::script(const std::string& path, const std::vector<StandInResponse>& responses,
                                 const std::optional<StandInResponse>& then) {
    nlohmann::json spec = {{"path", path}, {"responses", nlohmann::json::array()}};
    for (const auto& response : responses) spec["responses"].push_back(toJson(response));
    if (then) spec["then"] = toJson(*then);
    control("POST", "/_standin/script", spec.dump());
}

std::vector<RecordedRequest> CloudServiceStandIn::requests() const {
    std::vector<RecordedRequest> result;
    for (const auto& entry : nlohmann::json::parse(control("GET", "/_standin/requests", "").body)) {
        RecordedRequest request;
        request.method = entry.at("method").get<std::string>();
        request.path = entry.at("path").get<std::string>();
        for (const auto& header : entry.at("headers"))
            request.headers.emplace_back(header.at(0).get<std::string>(), header.at(1).get<std::string>());
        request.body = base64Decode(entry.at("body_base64").get<std::string>());
        result.push_back(std::move(request));
    }
    return result;
}

CloudServiceStandIn& sharedCloudServiceStandIn() {
    static std::string startError;
    static std::unique_ptr<CloudServiceStandIn> standIn = [] {
        try {
            return std::make_unique<CloudServiceStandIn>();
        } catch (const std::exception& error) {
            startError = error.what();
            return std::unique_ptr<CloudServiceStandIn>();
        }
    }();
    if (!standIn) throw std::runtime_error(startError);
    return *standIn;
}

void CloudServiceStandIn::reset() { control("POST", "/_standin/reset", "{}"); }

}  // namespace quonvera::test
