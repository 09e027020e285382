#pragma once

#include "platform/DesktopNotifier.h"
#include "platform/DisplayAccessProbe.h"
#include "platform/SoundServerProbe.h"
#include "platform/UrlOpener.h"

#include <string>
#include <utility>
#include <vector>

namespace quonvera {

// The desktop's answers to the permission checks, for unit tests.
class FakeSoundServerProbe final : public SoundServerProbe {
public:
    bool soundServerAnswers() override { return answers; }
    bool answers = true;
};

class FakeDisplayAccessProbe final : public DisplayAccessProbe {
public:
    DisplayAccess probe() override { return access; }
    DisplayAccess access{true, true, true, false, ":0"};
};

class FakeDesktopNotifier final : public DesktopNotifier {
public:
    void notify(const std::string& title, const std::string& body) override { shown.emplace_back(title, body); }
    std::vector<std::pair<std::string, std::string>> shown;
};

class FakeUrlOpener final : public UrlOpener {
public:
    void open(const std::string& url) override { opened.push_back(url); }
    std::vector<std::string> opened;
};

}  // namespace quonvera
