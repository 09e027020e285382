#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quonvera {

// Writes one line per event to standard output ("ClassName: what happened"). Safe from any
// thread; each line is written whole.
void logLine(std::string_view line);

// Collects every line logged while it exists (lines still go to standard output), so tests can
// assert the log of a behaviour. One capture at a time.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const;
    bool contains(std::string_view line) const;
    // Lines that start with `prefix`, in order.
    std::vector<std::string> linesStartingWith(std::string_view prefix) const;
    void clear();
};

}  // namespace quonvera
