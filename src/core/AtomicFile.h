#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace quonvera {

// Replaces `path` with `contents` so that a crash leaves either the old file or the new one:
// a temporary file in the same folder is written, flushed to disk and renamed over `path`.
// The file gets `mode`. Returns an error text on failure; the old file is then untouched.
std::optional<std::string> writeFileAtomically(const std::filesystem::path& path, std::string_view contents,
                                               mode_t mode = 0600);

// Reads a whole file; nullopt when it does not exist or cannot be read.
std::optional<std::string> readWholeFile(const std::filesystem::path& path);

}  // namespace quonvera
