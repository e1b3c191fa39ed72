// Redirect URLs come from the browser: any URL goes through both flows' parameter handling and ends in a
// session or an error, never a crash; nothing is stored, as every request fails here.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "OfflineAuthClient.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static OfflineAuthClient implicit(zirudeze::auth::AuthFlowType::implicit);
  static OfflineAuthClient pkce(zirudeze::auth::AuthFlowType::pkce);
  const auto url = velmoria::base::URL::parse(std::string_view(reinterpret_cast<const char*>(bytes), size));
  if (!url) return 0;
  for (auto* offline : {&implicit, &pkce}) {
    try {
      offline->client->session(*url);
    } catch (const std::exception&) {
    }
    if (offline->client->currentSession()) __builtin_trap();
  }
  return 0;
}
