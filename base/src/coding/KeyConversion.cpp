#include "base/coding/KeyConversion.hpp"

#include <vector>

namespace velmoria::base {
namespace {

bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool isLower(char c) { return c >= 'a' && c <= 'z'; }
char lower(char c) { return isUpper(c) ? static_cast<char>(c - 'A' + 'a') : c; }
char upper(char c) { return isLower(c) ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::string convertToSnakeCase(std::string_view key) {
  if (key.empty()) return {};
  // Words end where a capital starts; a run of capitals is one word, except that its last
  // capital starts the next word when a lower-case letter follows it ("URLValue" -> url, value).
  std::vector<std::string_view> words;
  std::size_t wordStart = 0;
  std::size_t search = 1;
  while (true) {
    std::size_t upperPos = search;
    while (upperPos < key.size() && !isUpper(key[upperPos])) ++upperPos;
    if (upperPos >= key.size()) break;
    words.push_back(key.substr(wordStart, upperPos - wordStart));
    std::size_t lowerPos = upperPos;
    while (lowerPos < key.size() && !isLower(key[lowerPos])) ++lowerPos;
    if (lowerPos >= key.size()) {
      wordStart = upperPos;
      search = key.size();
      break;
    }
    if (lowerPos == upperPos + 1) {
      wordStart = upperPos;
    } else {
      words.push_back(key.substr(upperPos, lowerPos - 1 - upperPos));
      wordStart = lowerPos - 1;
    }
    search = lowerPos + 1;
  }
  words.push_back(key.substr(wordStart));

  std::string out;
  out.reserve(key.size() + words.size());
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (words[i].empty()) continue;
    if (!out.empty()) out += '_';
    for (const char c : words[i]) out += lower(c);
  }
  return out;
}

std::string convertFromSnakeCase(std::string_view key) {
  const std::size_t first = key.find_first_not_of('_');
  if (first == std::string_view::npos) return std::string(key);
  const std::size_t last = key.find_last_not_of('_');
  const std::string_view body = key.substr(first, last - first + 1);
  if (body.find('_') == std::string_view::npos) return std::string(key);

  std::string out(key.substr(0, first));
  bool firstComponent = true;
  std::size_t pos = 0;
  while (pos <= body.size()) {
    std::size_t end = body.find('_', pos);
    if (end == std::string_view::npos) end = body.size();
    const std::string_view component = body.substr(pos, end - pos);
    if (!component.empty()) {
      for (std::size_t i = 0; i < component.size(); ++i) {
        const char c = component[i];
        out += (!firstComponent && i == 0) ? upper(c) : lower(c);
      }
      firstComponent = false;
    }
    pos = end + 1;
  }
  out += key.substr(last + 1);
  return out;
}

}  // namespace velmoria::base
