#include "auth/PaginationHeaders.hpp"

#include <charconv>
#include <string>

#include "TextPieces.hpp"
#include "base/Unicode.hpp"

namespace zirudeze::auth {
namespace {

using detail::nonEmptyPieces;

// A whole text as a base-10 integer: an optional sign, then at least one ASCII digit, nothing else.
std::optional<std::int64_t> integer(std::string_view text) {
  const bool plus = !text.empty() && text.front() == '+';
  if (plus) text.remove_prefix(1);
  if (text.empty() || (plus && text.front() == '-')) return std::nullopt;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The leading run of numeric characters, in any script: a run such as "2" followed by another script's
// digit is still one run, which then does not parse as a number.
std::string leadingNumerals(std::string_view text) {
  const std::string valid = velmoria::base::isValidUTF8(text) ? std::string(text) : velmoria::base::repairUTF8(text);
  std::size_t length = 0;
  for (const auto character : velmoria::base::graphemeClusters(valid)) {
    if (!velmoria::base::isNumber(character)) break;
    length += character.size();
  }
  return valid.substr(0, length);
}

}  // namespace

std::int64_t totalCount(std::optional<std::string_view> header) {
  if (!header) return 0;
  return integer(*header).value_or(0);
}

PageLinks pageLinks(std::optional<std::string_view> header) {
  PageLinks links;
  if (!header) return links;
  for (const auto piece : nonEmptyPieces(*header, ',')) {
    const auto parts = nonEmptyPieces(piece, ';');
    if (parts.size() < 2) continue;
    const auto target = nonEmptyPieces(parts[0], '=');
    const auto relation = nonEmptyPieces(parts[1], '=');
    if (target.size() < 2 || relation.size() < 2) continue;
    const auto page = integer(leadingNumerals(target[1]));
    if (!page) continue;
    if (relation[1] == "\"last\"") {
      links.lastPage = *page;
    } else if (relation[1] == "\"next\"") {
      links.nextPage = *page;
    }
  }
  return links;
}

}  // namespace zirudeze::auth
