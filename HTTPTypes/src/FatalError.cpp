#include "FatalError.hpp"

#include <cstdio>
#include <cstdlib>

namespace zirudeze::http::detail {

void fatalError(const char* message) noexcept {
  std::fprintf(stderr, "HTTPTypes: Fatal error: %s\n", message);
  std::fflush(stderr);
  std::abort();
}

}  // namespace zirudeze::http::detail
