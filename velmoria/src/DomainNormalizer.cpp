#include "base/Unicode.hpp"
#include "velmoria/MacWebBlocklistStore.hpp"

namespace velmoria {
namespace {

// Every character is a letter, a number, "." or "-" (Unicode letters and numbers pass unchanged).
bool hasOnlyHostCharacters(std::string_view s) {
  for (const auto character : base::graphemeClusters(s)) {
    if (character == "." || character == "-") continue;
    if (!base::isLetter(character) && !base::isNumber(character)) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> MacWebBlocklistStore::normalizeDomain(std::string_view text) {
  std::string s = base::lowercased(base::trimmingWhitespace(text));
  if (s.empty()) return std::nullopt;
  if (const auto scheme = s.find("://"); scheme != std::string::npos) s.erase(0, scheme + 3);
  if (const auto cut = s.find_first_of("/:?#"); cut != std::string::npos) s.resize(cut);
  if (s.rfind("www.", 0) == 0) s.erase(0, 4);
  while (!s.empty() && s.back() == '.') s.pop_back();
  if (s.find('.') == std::string::npos) return std::nullopt;
  if (!hasOnlyHostCharacters(s)) return std::nullopt;
  return s;
}

bool MacWebBlocklistStore::domainLess(const std::string& a, const std::string& b) {
  return base::canonicalCompare(a, b) < 0;
}

bool MacWebBlocklistStore::domainEqual(const std::string& a, const std::string& b) {
  return base::canonicallyEqual(a, b);
}

}  // namespace velmoria
