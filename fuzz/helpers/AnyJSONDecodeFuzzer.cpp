// JSON text from outside, read both ways AnyJSON offers: straight from the text and through a parsed
// document. The two must agree, and what was read must survive writing and reading again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "helpers/AnyJSON.hpp"

using zirudeze::helpers::AnyJSON;
using zirudeze::helpers::JSONDecoder;
using zirudeze::helpers::JSONEncoder;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);

  const std::optional<AnyJSON> parsed = AnyJSON::parse(text);
  std::optional<AnyJSON> decoded;
  try {
    decoded = JSONDecoder::shared().decodeJson<AnyJSON>(velmoria::base::parseJson(text));
  } catch (const velmoria::base::DecodingError&) {
  }
  if (parsed.has_value() != decoded.has_value()) __builtin_trap();
  if (!parsed) return 0;
  if (!(*parsed == *decoded) || parsed->hashValue() != decoded->hashValue()) __builtin_trap();

  const std::string written = JSONEncoder::shared().encodeToString(*parsed);
  const std::optional<AnyJSON> again = AnyJSON::parse(written);
  if (!again || !(*again == *parsed)) __builtin_trap();
  (void)parsed->description();
  return 0;
}
