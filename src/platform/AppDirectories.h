#pragma once

#include <filesystem>

namespace quonvera {

// Where the application keeps its files.
struct AppDirectories {
    std::filesystem::path userDefaultsFile;       // the user-defaults JSON object file
    std::filesystem::path applicationSupport;     // history and other data ("Quonvera")
    std::filesystem::path legacyApplicationSupport;  // the folder of an older release ("Brem")
    std::filesystem::path temporary;              // private folder for recordings
    std::filesystem::path modelCache;             // downloaded speech models

    // All folders below one root, for tests.
    static AppDirectories under(const std::filesystem::path& root);
};

}  // namespace quonvera
