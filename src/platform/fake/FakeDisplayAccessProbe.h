#pragma once

#include "platform/DisplayAccessProbe.h"

namespace quonvera {

// What the desktop offers for keyboard access, for unit tests.
class FakeDisplayAccessProbe final : public DisplayAccessProbe {
public:
    DisplayAccess probe() override { return access; }
    DisplayAccess access{true, true, true, false, ":0"};
};

}  // namespace quonvera
