#include "rest/TypeName.hpp"

#include <cxxabi.h>

#include <cctype>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace zirudeze::rest::detail {

std::string unqualifiedName(const std::type_info& type) {
  int status = 0;
  const std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                         std::free);
  const std::string full = status == 0 && demangled ? demangled.get() : type.name();
  // Drop each "qualifier::" by cutting back to where the qualified name began.
  std::string name;
  name.reserve(full.size());
  for (std::size_t i = 0; i < full.size(); ++i) {
    if (full.compare(i, 2, "::") == 0) {
      constexpr std::string_view anonymous = "(anonymous namespace)";
      if (name.size() >= anonymous.size() &&
          name.compare(name.size() - anonymous.size(), anonymous.size(), anonymous) == 0)
        name.resize(name.size() - anonymous.size());
      while (!name.empty() && (std::isalnum(static_cast<unsigned char>(name.back())) || name.back() == '_')) {
        name.pop_back();
      }
      ++i;
      continue;
    }
    name.push_back(full[i]);
  }
  return name;
}

}  // namespace zirudeze::rest::detail
