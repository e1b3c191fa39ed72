#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/Unicode.hpp"

namespace {

void require(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

// Text typed by the user or read from the wire goes through these helpers.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(bytes), size);

  const std::string repaired = velmoria::base::repairUTF8(input);
  require(velmoria::base::isValidUTF8(repaired));
  require(velmoria::base::isValidUTF8(input) == (repaired == input));

  const std::string normal = velmoria::base::nfc(input);
  require(velmoria::base::isValidUTF8(normal));
  require(velmoria::base::nfc(normal) == normal);
  require(velmoria::base::canonicallyEqual(normal, input));
  require(velmoria::base::canonicalHash(normal) == velmoria::base::canonicalHash(input));
  require(velmoria::base::canonicalCompare(input, normal) == std::strong_ordering::equal);

  require(velmoria::base::isValidUTF8(velmoria::base::lowercased(input)));
  require(velmoria::base::isValidUTF8(velmoria::base::uppercased(input)));

  const std::string_view trimmed = velmoria::base::trimmingWhitespace(input);
  require(trimmed.data() >= input.data() && trimmed.data() + trimmed.size() <= input.data() + input.size());

  std::string joined;
  for (const std::string_view cluster : velmoria::base::graphemeClusters(input)) {
    require(!cluster.empty());
    (void)velmoria::base::isLetter(cluster);
    (void)velmoria::base::isNumber(cluster);
    joined.append(cluster);
  }
  require(joined == input);

  if (const auto latin1 = velmoria::base::utf8ToLatin1(input)) require(velmoria::base::latin1ToUTF8(*latin1) == input);
  require(velmoria::base::utf8ToLatin1(velmoria::base::latin1ToUTF8(input)) == std::string(input));
  return 0;
}
