#include "base/Check.hpp"

#include <cstdio>
#include <cstdlib>

namespace velmoria::base {

void fatalError(std::string_view message, CodeLocation location) noexcept {
  fatalError(message, location.file_name(), location.line());
}

void fatalError(std::string_view message, std::string_view file, std::uint64_t line) noexcept {
  // Held across the pieces, so another thread's output never lands inside the line.
  flockfile(stderr);
  std::fwrite(file.data(), 1, file.size(), stderr);
  std::fprintf(stderr, ":%llu: Fatal error: ", static_cast<unsigned long long>(line));
  std::fwrite(message.data(), 1, message.size(), stderr);
  std::fputc('\n', stderr);
  funlockfile(stderr);
  std::fflush(stderr);
  std::abort();
}

}  // namespace velmoria::base
