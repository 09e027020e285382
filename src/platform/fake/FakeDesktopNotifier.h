#pragma once

#include "platform/DesktopNotifier.h"

#include <string>
#include <utility>
#include <vector>

namespace quonvera {

// Keeps the notifications it is asked to show, for unit tests.
class FakeDesktopNotifier final : public DesktopNotifier {
public:
    void notify(const std::string& title, const std::string& body) override { shown.emplace_back(title, body); }
    std::vector<std::pair<std::string, std::string>> shown;
};

}  // namespace quonvera
