#include "auth/URLParameters.hpp"

#include <optional>
#include <vector>

#include "TextPieces.hpp"
#include "base/URLComponents.hpp"

namespace zirudeze::auth {
namespace {

using detail::nonEmptyPieces;

// "&"-separated pieces, each split at every "="; only a piece of exactly two non-empty parts counts.
std::vector<velmoria::base::URLQueryItem> extractFragmentParams(std::string_view fragment) {
  std::vector<velmoria::base::URLQueryItem> items;
  for (const auto piece : nonEmptyPieces(fragment, '&')) {
    const auto parts = nonEmptyPieces(piece, '=');
    if (parts.size() == 2) items.push_back({std::string(parts[0]), std::string(parts[1])});
  }
  return items;
}

std::map<std::string, std::string> extractFrom(const velmoria::base::URLComponents& components) {
  std::map<std::string, std::string> parameters;
  const auto apply = [&](const velmoria::base::URLQueryItem& item) {
    if (item.value)
      parameters.insert_or_assign(item.name, *item.value);
    else
      parameters.erase(item.name);
  };
  if (const auto& fragment = components.percentEncodedFragment())
    for (const auto& item : extractFragmentParams(*fragment)) apply(item);
  if (const auto items = components.queryItems())
    for (const auto& item : *items) apply(item);
  return parameters;
}

}  // namespace

std::map<std::string, std::string> extractParams(const velmoria::base::URL& url) {
  return extractFrom(velmoria::base::URLComponents(url));
}

std::map<std::string, std::string> extractParams(std::string_view urlText) {
  const auto components = velmoria::base::URLComponents::parse(urlText);
  if (!components) return {};
  return extractFrom(*components);
}

}  // namespace zirudeze::auth
