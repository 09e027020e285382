#pragma once

#include "platform/ActiveWindow.h"

namespace quonvera {

class FakeActiveWindow : public ActiveWindow {
public:
    std::optional<std::string> applicationClass() override { return currentClass; }

    std::optional<std::string> currentClass;
};

}  // namespace quonvera
