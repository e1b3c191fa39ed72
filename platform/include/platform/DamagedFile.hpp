#pragma once

#include <filesystem>

namespace velmoria::platform {

// Keeps a file that could not be understood for the user before a write replaces it: a second name
// "<file>.corrupt", or "<file>.corrupt.1", ".2", ... when earlier copies already hold those names, so
// no earlier copy is ever replaced. The file itself stays where it is. Answers the copy's path; throws
// std::system_error when no copy could be made (then the file must not be replaced either).
std::filesystem::path keepDamagedFile(const std::filesystem::path& file);

}  // namespace velmoria::platform
