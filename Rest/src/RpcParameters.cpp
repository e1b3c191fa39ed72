#include "RpcParameters.hpp"

#include <algorithm>

#include "ValueText.hpp"

namespace zirudeze::rest::detail {
namespace {

std::string scalarText(const velmoria::base::Json& value) {
  switch (value.type()) {
    case velmoria::base::Json::value_t::string:
      return value.get_ref<const std::string&>();
    case velmoria::base::Json::value_t::boolean:
      return value.get<bool>() ? "true" : "false";
    case velmoria::base::Json::value_t::number_float:
      return decimalText(value.get<double>(), WholeNumbers::asIntegers);
    case velmoria::base::Json::value_t::object:
    case velmoria::base::Json::value_t::array:
      // Plain nlohmann::json sorts the keys, so nested objects read the same whatever their coding order.
      return nlohmann::json(value).dump();
    default:
      // null, integers
      return value.dump();
  }
}

// Arrays nest as arrays; every other element is quoted where the array syntax needs it.
std::string arrayText(const velmoria::base::Json& array) {
  std::string text = "{";
  bool first = true;
  for (const auto& element : array) {
    if (!first) text += ',';
    first = false;
    if (element.is_array()) {
      text += arrayText(element);
    } else if (element.is_null()) {
      text += "null";
    } else {
      text += listElementText(scalarText(element));
    }
  }
  return text + "}";
}

}  // namespace

std::vector<velmoria::base::URLQueryItem> queryItemsFromParameters(const velmoria::base::Json& parameters) {
  std::vector<velmoria::base::URLQueryItem> items;
  items.reserve(parameters.size());
  for (auto it = parameters.begin(); it != parameters.end(); ++it) {
    const velmoria::base::Json& value = it.value();
    items.push_back(velmoria::base::URLQueryItem{it.key(), value.is_array() ? arrayText(value) : scalarText(value)});
  }
  std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return items;
}

}  // namespace zirudeze::rest::detail
