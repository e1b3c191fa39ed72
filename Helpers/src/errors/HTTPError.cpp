#include "helpers/HTTPError.hpp"

#include <string_view>

#include "base/Unicode.hpp"
#include "helpers/LogRedaction.hpp"
#include "logging/LogBodyText.hpp"

namespace zirudeze::helpers {
namespace {

// The longest prefix of valid UTF-8 text of at most `limit` bytes.
std::string_view utf8Prefix(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;  // not inside a character
  return text.substr(0, end);
}

std::string describe(const velmoria::base::Data& data, const HTTPURLResponse& response) {
  std::string text = "Status Code: " + std::to_string(response.statusCode);
  const std::string_view body(reinterpret_cast<const char*>(data.data()), data.size());
  if (!velmoria::base::isValidUTF8(body)) return text;
  // A whole JSON body is masked the JSON way (strings that hold JSON included) before it is cut; other
  // text is masked as far as it is shown.
  const auto redacted = detail::redactedJSONText(body);
  const std::string_view source = redacted ? std::string_view(*redacted) : body;
  const auto shown = utf8Prefix(source, HTTPError::kDescribedBodyBytes);
  text.append(" Body: ").append(redacted ? std::string(shown) : redactingSecrets(shown));
  if (shown.size() < source.size()) text.append("... (" + std::to_string(body.size()) + " bytes)");
  return text;
}

}  // namespace

HTTPError::HTTPError(velmoria::base::Data data, HTTPURLResponse response)
    : std::runtime_error(describe(data, response)), data_(std::move(data)), response_(std::move(response)) {}

}  // namespace zirudeze::helpers
