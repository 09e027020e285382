#pragma once

#include "platform/UrlOpener.h"

#include <string>
#include <vector>

namespace quonvera {

// Keeps the URLs it is asked to open, for unit tests.
class FakeUrlOpener final : public UrlOpener {
public:
    void open(const std::string& url) override { opened.push_back(url); }
    std::vector<std::string> opened;
};

}  // namespace quonvera
