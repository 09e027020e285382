#pragma once

#include <filesystem>
#include <string_view>

namespace quonvera {

// Where a help page installed with the application is: share/quonvera/help beside the bin
// folder of the running program, else the copy in the source tree (runs from a build folder).
std::filesystem::path installedHelpPage(std::string_view fileName);

}  // namespace quonvera
