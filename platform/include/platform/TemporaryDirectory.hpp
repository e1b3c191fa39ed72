#pragma once

#include <filesystem>

namespace velmoria::platform {

// The per-user temporary folder: $XDG_RUNTIME_DIR when it is ours and private, else a 0700 folder of our
// own under $TMPDIR (or /tmp). Another user can never plant or read files in it.
// Throws std::system_error when no such folder can be made safe.
std::filesystem::path temporaryDirectory();

}  // namespace velmoria::platform
