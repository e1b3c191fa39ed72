// Admin list headers come from outside: any "x-total-count" and "link" text gives numbers, never a crash.
// The input's first line is the count, the rest the link header.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "auth/PaginationHeaders.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  const auto newline = text.find('\n');
  const auto count = text.substr(0, newline);
  const auto links = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
  const auto total = zirudeze::auth::totalCount(count);
  // A count is only ever read from a text that holds digits.
  if (total != 0 && count.find_first_of("0123456789") == std::string_view::npos) __builtin_trap();
  const auto pages = zirudeze::auth::pageLinks(links);
  if ((pages.nextPage || pages.lastPage != 0) && links.find(';') == std::string_view::npos) __builtin_trap();
  return 0;
}
