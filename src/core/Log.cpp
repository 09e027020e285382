#include "core/Log.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace quonvera {
namespace {

std::mutex& logMutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<std::string>*& capturedLines() {
    static std::vector<std::string>* lines = nullptr;
    return lines;
}

}  // namespace

void logLine(std::string_view line) {
    std::lock_guard lock(logMutex());
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (auto* lines = capturedLines()) lines->emplace_back(line);
}

LogCapture::LogCapture() {
    std::lock_guard lock(logMutex());
    capturedLines() = new std::vector<std::string>();
}

LogCapture::~LogCapture() {
    std::lock_guard lock(logMutex());
    delete capturedLines();
    capturedLines() = nullptr;
}

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard lock(logMutex());
    return *capturedLines();
}

bool LogCapture::contains(std::string_view line) const {
    const auto all = lines();
    return std::find(all.begin(), all.end(), line) != all.end();
}

std::vector<std::string> LogCapture::linesStartingWith(std::string_view prefix) const {
    std::vector<std::string> result;
    for (auto& line : lines())
        if (std::string_view(line).substr(0, prefix.size()) == prefix) result.push_back(line);
    return result;
}

void LogCapture::clear() {
    std::lock_guard lock(logMutex());
    capturedLines()->clear();
}

}  // namespace quonvera
