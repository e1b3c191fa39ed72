#include "Numbers.hpp"

#include <charconv>
#include <cmath>

namespace zirudeze::auth::detail {

std::optional<double> number(const helpers::AnyJSON& value) {
  if (const auto integer = value.intValue()) return static_cast<double>(*integer);
  return value.doubleValue();
}

std::optional<double> number(const helpers::JSONObject& object, const std::string& name) {
  const auto found = object.find(name);
  if (found == object.end()) return std::nullopt;
  return number(found->second);
}

std::optional<double> numberInText(std::string_view text) {
  const bool plus = !text.empty() && text.front() == '+';
  if (plus) text.remove_prefix(1);
  if (text.empty() || (plus && text.front() == '-')) return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace zirudeze::auth::detail
