// mime.types text as a system might hold it: the reader must take any bytes, and what it finds must be
// found again whatever the letter case of the extension.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "storage/MimeTypes.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  const auto table = zirudeze::storage::MimeTypeTable::parse(text);
  // Probe with every word of the input.
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find_first_of(" \t\r\n", at), text.size());
    std::string word(text.substr(at, end - at));
    if (const auto type = table.mimeType(word)) {
      std::transform(word.begin(), word.end(), word.begin(),
                     [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; });
      if (table.mimeType(word) != type) __builtin_trap();
      if (type->empty() || type->find('/') == std::string::npos) __builtin_trap();
    }
    at = end + 1;
  }
  (void)zirudeze::storage::mimeTypeForPathExtension(text, table);
  return 0;
}
