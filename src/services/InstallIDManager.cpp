#include "services/InstallIDManager.h"

#include "core/Uuid.h"

namespace quonvera {

std::string InstallIDManager::installID() {
    std::lock_guard lock(mutex_);
    if (auto stored = defaults_.stringForKey(userDefaultsKey)) return *stored;
    std::string identifier = makeUuidString();
    defaults_.setString(userDefaultsKey, identifier);
    return identifier;
}

}  // namespace quonvera
