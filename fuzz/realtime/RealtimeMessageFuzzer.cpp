// Frame text from a server: the fast reading and the document route must agree, and what was read
// must survive writing and reading again.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "realtime/RealtimeMessageV2.hpp"

using zirudeze::realtime::RealtimeMessageV2;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  std::optional<RealtimeMessageV2> fast;
  std::optional<RealtimeMessageV2> document;
  try {
    fast = RealtimeMessageV2::fromFrameText(text);
  } catch (const velmoria::base::DecodingError&) {
  }
  try {
    document = velmoria::base::JSONDecoder{}.decode<RealtimeMessageV2>(text);
  } catch (const velmoria::base::DecodingError&) {
  }
  if (fast.has_value() != document.has_value()) __builtin_trap();
  if (!fast) return 0;
  if (!(*fast == *document) || fast->hashValue() != document->hashValue()) __builtin_trap();
  (void)fast->eventType();
  (void)fast->status();
  std::string written;
  try {
    written = fast->frameText();
  } catch (const velmoria::base::EncodingError&) {
    return 0;
  }
  if (!(RealtimeMessageV2::fromFrameText(written) == *fast)) __builtin_trap();
  return 0;
}
