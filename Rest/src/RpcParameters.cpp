#include "RpcParameters.hpp"

#include <algorithm>
#include <charconv>

namespace zirudeze::rest::detail {
namespace {

std::string scalarText(const base::Json& value) {
  switch (value.type()) {
    case base::Json::value_t::string:
      return value.get_ref<const std::string&>();
    case base::Json::value_t::boolean:
      return value.get<bool>() ? "true" : "false";
    case base::Json::value_t::number_float: {
      char buffer[32];
      const auto result = std::to_chars(buffer, buffer + sizeof buffer, value.get<double>());
      return std::string(buffer, result.ptr);
    }
    case base::Json::value_t::object:
    case base::Json::value_t::array:
      // Plain nlohmann::json sorts the keys, so nested objects read the same whatever their coding order.
      return nlohmann::json(value).dump();
    default:
      // null, integers
      return value.dump();
  }
}

std::string parameterText(const base::Json& value) {
  if (!value.is_array()) return scalarText(value);
  std::string text = "{";
  bool first = true;
  for (const auto& element : value) {
    if (!first) text += ',';
    first = false;
    text += scalarText(element);
  }
  return text + "}";
}

}  // namespace

std::vector<base::URLQueryItem> queryItemsFromParameters(const base::Json& parameters) {
  std::vector<base::URLQueryItem> items;
  items.reserve(parameters.size());
  for (auto it = parameters.begin(); it != parameters.end(); ++it) {
    items.push_back(base::URLQueryItem{it.key(), parameterText(it.value())});
  }
  std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return items;
}

}  // namespace zirudeze::rest::detail
