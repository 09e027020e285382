#include "platform/AppDirectories.h"

namespace quonvera {

AppDirectories AppDirectories::under(const std::filesystem::path& root) {
    return {root / "config" / "quonvera" / "defaults.json", root / "data" / "Quonvera", root / "data" / "Brem",
            root / "runtime" / "quonvera", root / "cache" / "quonvera" / "models"};
}

}  // namespace quonvera
