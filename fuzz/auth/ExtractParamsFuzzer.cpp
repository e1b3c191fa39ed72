// Redirect URLs come from outside: any text gives a parameter map, never a crash; a fragment parameter
// never has an empty name or value.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "auth/URLParameters.hpp"
#include "base/URLComponents.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  const auto parameters = zirudeze::auth::extractParams(text);
  const auto components = velmoria::base::URLComponents::parse(text);
  if (!components && !parameters.empty()) __builtin_trap();
  if (components && !components->query()) {
    for (const auto& [name, value] : parameters)
      if (name.empty() || value.empty()) __builtin_trap();
  }
  return 0;
}
