#pragma once

#include "platform/AppDirectories.h"

namespace quonvera {

// The folders of the XDG base directory rules, read from the environment:
// $XDG_CONFIG_HOME/quonvera/defaults.json, $XDG_DATA_HOME/Quonvera (old: Brem),
// a private folder under $XDG_RUNTIME_DIR (else $TMPDIR, else /tmp), $XDG_CACHE_HOME/quonvera/models.
AppDirectories xdgAppDirectories();

// Creates `folder` (and parents) if needed and makes it readable by the owner only.
// Returns false when it cannot be made private.
bool ensurePrivateFolder(const std::filesystem::path& folder);

}  // namespace quonvera
