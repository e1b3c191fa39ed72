#include "helpers/detail/ResponseHeaderCollector.hpp"

#include <charconv>

#include "helpers/URLRequest.hpp"

namespace zirudeze::helpers::detail {
namespace {

// Up to this many names a scan is cheaper than keeping an index.
constexpr std::size_t kScannedFields = 16;

std::string lowercasedASCII(std::string_view text) {
  std::string out(text);
  for (auto& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string_view trimmed(std::string_view text) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

bool isHeaderNameToken(std::string_view name) noexcept {
  if (name.empty()) return false;
  for (const char c : name) {
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (alnum) continue;
    switch (c) {
      case '!':
      case '#':
      case '$':
      case '%':
      case '&':
      case '\'':
      case '*':
      case '+':
      case '-':
      case '.':
      case '^':
      case '_':
      case '`':
      case '|':
      case '~':
        continue;
      default:
        return false;
    }
  }
  return true;
}

void ResponseHeaderCollector::addLine(std::string_view line) {
  if (line.size() >= 5 && line.substr(0, 5) == "HTTP/") {
    reset();
    const auto space = line.find(' ');
    if (space != std::string_view::npos) {
      const auto code = trimmed(line.substr(space + 1)).substr(0, 3);
      int value = 0;
      const auto [end, error] = std::from_chars(code.data(), code.data() + code.size(), value);
      if (error == std::errc() && end == code.data() + code.size()) status_ = value;
    }
    return;
  }
  if (trimmed(line).empty()) {
    // Interim answers (100 Continue and kin) are followed by the real one.
    if (status_ >= 200 || status_ == 0) complete_ = true;
    return;
  }
  if (line.front() == ' ' || line.front() == '\t') {
    if (lastValid_ && last_ < fields_.size()) {
      const auto more = trimmed(line);
      auto& value = fields_[last_].second;
      if (!value.empty()) value += ' ';
      value.append(more);
    }
    return;
  }
  const auto colon = line.find(':');
  if (colon == std::string_view::npos) {
    lastValid_ = false;
    return;
  }
  const auto name = line.substr(0, colon);
  if (!isHeaderNameToken(name)) {
    lastValid_ = false;
    return;
  }
  add(name, trimmed(line.substr(colon + 1)));
}

void ResponseHeaderCollector::reset() {
  fields_.clear();
  index_.clear();
  complete_ = false;
  lastValid_ = false;
  status_ = 0;
}

std::vector<std::pair<std::string, std::string>> ResponseHeaderCollector::takeFields() {
  auto taken = std::move(fields_);
  reset();
  return taken;
}

std::size_t ResponseHeaderCollector::find(std::string_view name) const {
  if (fields_.size() <= kScannedFields) {
    for (std::size_t i = 0; i < fields_.size(); ++i) {
      if (equalsIgnoringASCIICase(fields_[i].first, name)) return i;
    }
    return fields_.size();
  }
  const auto entry = index_.find(lowercasedASCII(name));
  return entry == index_.end() ? fields_.size() : entry->second;
}

void ResponseHeaderCollector::add(std::string_view name, std::string_view value) {
  lastValid_ = true;
  last_ = find(name);
  if (last_ < fields_.size()) {
    fields_[last_].second.append(", ").append(value);
    return;
  }
  fields_.emplace_back(std::string(name), std::string(value));
  if (fields_.size() == kScannedFields + 1) {
    for (std::size_t i = 0; i < fields_.size(); ++i) index_.emplace(lowercasedASCII(fields_[i].first), i);
  } else if (fields_.size() > kScannedFields + 1) {
    index_.emplace(lowercasedASCII(name), last_);
  }
}

std::optional<std::uint64_t> ResponseHeaderCollector::contentLength() const {
  const auto position = find("content-length");
  if (position == fields_.size()) return std::nullopt;
  const auto& value = fields_[position].second;
  std::uint64_t length = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), length);
  if (error == std::errc() && end == value.data() + value.size()) return length;
  return std::nullopt;
}

}  // namespace zirudeze::helpers::detail
