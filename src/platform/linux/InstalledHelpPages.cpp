#include "platform/linux/InstalledHelpPages.h"

namespace quonvera {
namespace fs = std::filesystem;

fs::path installedHelpPage(std::string_view fileName) {
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        const fs::path installed = program.parent_path().parent_path() / "share" / "quonvera" / "help" / fileName;
        if (fs::exists(installed, error)) return installed;
    }
    return fs::path(QUONVERA_SOURCE_HELP_FOLDER) / fileName;
}

}  // namespace quonvera
