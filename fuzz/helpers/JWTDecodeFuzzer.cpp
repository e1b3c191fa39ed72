// Token text from outside: neither decoder may crash, and the two must agree on the claims.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "helpers/Base64URL.hpp"
#include "helpers/JWT.hpp"

using zirudeze::helpers::Base64URL;
using zirudeze::helpers::JWT;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);

  const auto payload = JWT::decodePayload(text);
  const auto decoded = JWT::decode(text);
  if (decoded && (!payload || !(*payload == decoded->payload))) __builtin_trap();
  if (decoded && Base64URL::encode(decoded->signature).size() > size) __builtin_trap();

  // Any bytes survive the text form.
  const velmoria::base::Data data(bytes, bytes + size);
  if (Base64URL::decode(Base64URL::encode(data)) != data) __builtin_trap();
  return 0;
}
