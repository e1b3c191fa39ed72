#include "ValueText.hpp"

#include <charconv>
#include <cmath>

namespace zirudeze::rest::detail {
namespace {

bool isReserved(char c) {
  switch (c) {
    case ',':
    case '(':
    case ')':
    case '{':
    case '}':
    case '"':
    case '\\':
    case ' ':
    case '\t':
    case '\n':
    case '\r':
    case '\v':
    case '\f':
      return true;
    default:
      return false;
  }
}

// Unquoted, any spelling of NULL is the absent value rather than the text.
bool spellsNull(std::string_view text) {
  if (text.size() != 4) return false;
  for (std::size_t i = 0; i < 4; ++i) {
    if ((text[i] | 0x20) != "null"[i]) return false;
  }
  return true;
}

}  // namespace

std::string decimalText(double value, WholeNumbers wholeNumbers) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  const double magnitude = std::fabs(value);
  const bool plain = magnitude == 0 || (magnitude >= 1e-6 && magnitude < 1e16);
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    plain ? std::chars_format::fixed : std::chars_format::scientific);
  std::string text(buffer, result.ptr);
  if (plain && wholeNumbers == WholeNumbers::pointZero && text.find('.') == std::string::npos) text += ".0";
  return text;
}

std::string listElementText(std::string_view text) {
  bool quoted = text.empty() || spellsNull(text);
  for (const char c : text) quoted = quoted || isReserved(c);
  if (!quoted) return std::string(text);
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  for (const char c : text) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

}  // namespace zirudeze::rest::detail
