#include "platform/linux/XdgAppDirectories.h"

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quonvera {
namespace fs = std::filesystem;

namespace {

fs::path environmentPath(const char* name) {
    const char* value = std::getenv(name);
    // The base directory rules ignore relative paths.
    if (value == nullptr || value[0] != '/') return {};
    return fs::path(value);
}

fs::path homeFolder() {
    if (auto home = environmentPath("HOME"); !home.empty()) return home;
    return fs::temp_directory_path();
}

fs::path baseOr(const char* variable, const char* fallbackBelowHome) {
    if (auto path = environmentPath(variable); !path.empty()) return path;
    return homeFolder() / fallbackBelowHome;
}

}  // namespace

AppDirectories xdgAppDirectories() {
    AppDirectories directories;
    directories.userDefaultsFile = baseOr("XDG_CONFIG_HOME", ".config") / "quonvera" / "defaults.json";
    const fs::path data = baseOr("XDG_DATA_HOME", ".local/share");
    directories.applicationSupport = data / "Quonvera";
    directories.legacyApplicationSupport = data / "Brem";
    fs::path runtime = environmentPath("XDG_RUNTIME_DIR");
    if (!runtime.empty()) {
        directories.temporary = runtime / "quonvera";
    } else {
        fs::path temp = environmentPath("TMPDIR");
        if (temp.empty()) temp = "/tmp";
        directories.temporary = temp / ("quonvera-" + std::to_string(::getuid()));
    }
    directories.modelCache = baseOr("XDG_CACHE_HOME", ".cache") / "quonvera" / "models";
    return directories;
}

bool ensurePrivateFolder(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    struct stat info {};
    // Refuse a folder another user owns or a link planted in a shared temporary folder.
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) return false;
    return ::chmod(folder.c_str(), 0700) == 0;
}

}  // namespace quonvera
