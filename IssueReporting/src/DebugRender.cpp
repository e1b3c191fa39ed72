#include "issuereporting/DebugRender.hpp"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace zirudeze::issuereporting {

std::string quotedText(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[12];
          std::snprintf(escaped, sizeof escaped, "\\u{%x}", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string demangledName(const std::type_info& type) {
  int status = 0;
  const std::unique_ptr<char, decltype(&std::free)> name(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                         &std::free);
  return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}

}  // namespace zirudeze::issuereporting
