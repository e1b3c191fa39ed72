#include "base/Unicode.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

void require(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

// Text typed by the user or read from the wire goes through these helpers.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(bytes), size);

  const std::string repaired = base::repairUTF8(input);
  require(base::isValidUTF8(repaired));
  require(base::isValidUTF8(input) == (repaired == input));

  const std::string normal = base::nfc(input);
  require(base::isValidUTF8(normal));
  require(base::nfc(normal) == normal);
  require(base::canonicallyEqual(normal, input));
  require(base::canonicalHash(normal) == base::canonicalHash(input));
  require(base::canonicalCompare(input, normal) == std::strong_ordering::equal);

  require(base::isValidUTF8(base::lowercased(input)));
  require(base::isValidUTF8(base::uppercased(input)));

  const std::string_view trimmed = base::trimmingWhitespace(input);
  require(trimmed.data() >= input.data() && trimmed.data() + trimmed.size() <= input.data() + input.size());

  std::string joined;
  for (const std::string_view cluster : base::graphemeClusters(input)) {
    require(!cluster.empty());
    (void)base::isLetter(cluster);
    (void)base::isNumber(cluster);
    joined.append(cluster);
  }
  require(joined == input);

  if (const auto latin1 = base::utf8ToLatin1(input)) require(base::latin1ToUTF8(*latin1) == input);
  require(base::utf8ToLatin1(base::latin1ToUTF8(input)) == std::string(input));
  return 0;
}
