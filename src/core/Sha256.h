#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace quonvera {

// The SHA-256 of a file's contents as lower-case hex; none when the file cannot be read.
std::optional<std::string> sha256OfFile(const std::filesystem::path& file);

}  // namespace quonvera
