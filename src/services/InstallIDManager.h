#pragma once

#include "platform/UserDefaults.h"

#include <mutex>
#include <string>

namespace quonvera {

// The random identifier of this installation, sent with every request to the cloud service.
// It is created on first use and never changed afterwards.
class InstallIDManager {
public:
    static constexpr const char* userDefaultsKey = "com.quonvera.installID";

    explicit InstallIDManager(UserDefaults& defaults) : defaults_(defaults) {}

    // The stored identifier; a new upper-case UUID is stored first when there is none.
    std::string installID();

private:
    UserDefaults& defaults_;
    std::mutex mutex_;
};

}  // namespace quonvera
