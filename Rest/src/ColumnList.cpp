#include "ColumnList.hpp"

#include <cstdint>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace zirudeze::rest::detail {

std::string cleanedColumns(std::string_view columns) {
  std::string cleaned;
  cleaned.reserve(columns.size());
  bool quoted = false;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(columns.data());
  const auto length = static_cast<std::int32_t>(columns.size());
  std::int32_t offset = 0;
  while (offset < length) {
    const std::int32_t start = offset;
    UChar32 scalar = 0;
    U8_NEXT(bytes, offset, length, scalar);
    if (scalar == '"') quoted = !quoted;
    // Ill-formed bytes (scalar < 0) are kept as they are.
    if (!quoted && scalar >= 0 && u_hasBinaryProperty(scalar, UCHAR_WHITE_SPACE)) continue;
    cleaned.append(columns.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(offset - start)));
  }
  return cleaned;
}

}  // namespace zirudeze::rest::detail
