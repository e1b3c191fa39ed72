#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace velmoria::base {

// Reads a regular file whole, for files that anyone could have put in our way. A FIFO, socket or
// device is refused before it is opened (and the open never waits, should one be swapped in), and no
// more than `maxBytes` are read. Nothing when no file is there. Throws std::system_error otherwise:
// EINVAL for what is not a regular file, EFBIG for a file over the limit, the system's error for a
// failed open or read (EACCES, EMFILE, EIO, ...).
std::optional<std::string> readRegularFile(const std::filesystem::path& file, std::size_t maxBytes);

}  // namespace velmoria::base
