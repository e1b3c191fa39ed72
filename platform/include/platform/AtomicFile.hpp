#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string_view>

namespace velmoria::platform {

// Replaces `path` with `bytes` so that a reader (or a crash) sees either the old file or the new one:
// a temporary file in the same folder is written, synced and renamed over the target. The rename never
// follows a symbolic link planted at the target name. Temporary files of the same target that a killed
// writer left behind are removed first (a live writer's are kept). Throws std::system_error on failure,
// also when the folder cannot be synced after the rename (the new file is then in place but may not
// survive a crash).
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, mode_t mode = 0600);

}  // namespace velmoria::platform
