#include "rest/RestAnswer.hpp"

#include <charconv>
#include <string>

#include "helpers/HTTPError.hpp"
#include "helpers/RestError.hpp"

namespace zirudeze::rest {

std::optional<std::int64_t> countFromContentRange(std::string_view value) {
  // The last piece that is not empty: "0-9/" has none after its slash, so its last piece is "0-9".
  while (!value.empty() && value.back() == '/') value.remove_suffix(1);
  const auto slash = value.rfind('/');
  std::string_view total = slash == std::string_view::npos ? value : value.substr(slash + 1);
  if (total.empty() || total == "*") return std::nullopt;
  const bool plus = total.front() == '+';
  if (plus) total.remove_prefix(1);
  if (total.empty() || (plus && total.front() == '-')) return std::nullopt;
  std::int64_t count = 0;
  const auto [end, error] = std::from_chars(total.data(), total.data() + total.size(), count);
  if (error != std::errc() || end != total.data() + total.size()) return std::nullopt;
  return count;
}

std::optional<std::int64_t> countFromResponse(const helpers::HTTPURLResponse& response) {
  const auto value = response.value("Content-Range");
  if (!value) return std::nullopt;
  return countFromContentRange(*value);
}

std::exception_ptr errorForFailedAnswer(const velmoria::base::Data& body, const helpers::HTTPURLResponse& response,
                                        const velmoria::base::JSONDecoder& decoder) {
  try {
    return std::make_exception_ptr(decoder.decode<helpers::RestError>(body));
  } catch (const std::exception&) {
    // Any body that is not the service's error object: empty, HTML, another JSON shape.
    return std::make_exception_ptr(helpers::HTTPError(body, response));
  }
}

}  // namespace zirudeze::rest
