// Tokens come from callers and sessions: any text goes through getClaims' own checks, and a token they
// refuse (bad structure, expired) never reaches the network.
#include <cstddef>
#include <cstdint>
#include <string>

#include "OfflineAuthClient.hpp"
#include "auth/AuthError.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static OfflineAuthClient offline(zirudeze::auth::AuthFlowType::pkce);
  if (size == 0) return 0;
  const bool allowExpired = (bytes[0] & 1) != 0;
  const std::string token(reinterpret_cast<const char*>(bytes) + 1, size - 1);
  const int before = offline.http->sends;
  try {
    offline.client->getClaims(token, {.allowExpired = allowExpired});
  } catch (const zirudeze::auth::AuthError& error) {
    const auto message = error.message();
    if ((message == "Invalid JWT structure" || message == "JWT has expired") && offline.http->sends != before)
      __builtin_trap();
    if (message == "JWT has expired" && allowExpired) __builtin_trap();
  } catch (const std::exception&) {
  }
  return 0;
}
