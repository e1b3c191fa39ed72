#include "concurrency/AnyHashableSendable.hpp"

namespace zirudeze::concurrency::detail {

std::string quotedText(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        quoted += "\\\"";
        break;
      case '\\':
        quoted += "\\\\";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\r':
        quoted += "\\r";
        break;
      case '\t':
        quoted += "\\t";
        break;
      case '\0':
        quoted += "\\0";
        break;
      default:
        quoted += c;
    }
  }
  quoted += '"';
  return quoted;
}

}  // namespace zirudeze::concurrency::detail
