#include "helpers/Base64URL.hpp"

#include "base/Base64.hpp"

namespace zirudeze::helpers {
namespace {

bool isStandardBase64(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' || c == '=';
}

}  // namespace

std::string Base64URL::encode(const velmoria::base::Data& bytes) {
  std::string text = velmoria::base::base64Encode(bytes);
  while (!text.empty() && text.back() == '=') text.pop_back();
  for (char& c : text) {
    if (c == '+')
      c = '-';
    else if (c == '/')
      c = '_';
  }
  return text;
}

std::string Base64URL::encode(std::string_view bytes) { return encode(velmoria::base::dataFromString(bytes)); }

std::optional<velmoria::base::Data> Base64URL::decode(std::string_view text) {
  // The padding is counted on the whole text, unknown characters included; only then are those
  // characters skipped, and what is left must be well-formed padded Base64.
  const std::size_t padding = (4 - text.size() % 4) % 4;
  std::string standard;
  standard.reserve(text.size() + padding);
  for (const char c : text) {
    const char mapped = c == '-' ? '+' : c == '_' ? '/' : c;
    if (isStandardBase64(mapped)) standard += mapped;
  }
  standard.append(padding, '=');
  return velmoria::base::base64Decode(standard);
}

}  // namespace zirudeze::helpers
