#include "URLSyntax.hpp"

#include <arpa/inet.h>

#include <array>
#include <cstdint>
#include <string>

namespace velmoria::base::detail {
namespace {

bool isAlpha(char c) noexcept { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }
bool isHex(char c) noexcept { return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// Character classes as bits of one table, so scans cost one lookup per byte.
enum : std::uint8_t {
  kUnreserved = 1,
  kSubDelim = 2,
  kColonAt = 4,  // ":" and "@", the rest of pchar
  kSlash = 8,
  kQuestion = 16,
  kSchemeEnd = 32,    // ":" "/" "?" "#"
  kAuthorityEnd = 64  // "/" "?" "#"
};

constexpr std::array<std::uint8_t, 256> makeClasses() {
  std::array<std::uint8_t, 256> table{};
  for (int c = 'A'; c <= 'Z'; ++c) table[c] |= kUnreserved;
  for (int c = 'a'; c <= 'z'; ++c) table[c] |= kUnreserved;
  for (int c = '0'; c <= '9'; ++c) table[c] |= kUnreserved;
  for (const char c : std::string_view("-._~")) table[static_cast<unsigned char>(c)] |= kUnreserved;
  for (const char c : std::string_view("!$&'()*+,;=")) table[static_cast<unsigned char>(c)] |= kSubDelim;
  table[':'] |= kColonAt | kSchemeEnd;
  table['@'] |= kColonAt;
  table['/'] |= kSlash | kSchemeEnd | kAuthorityEnd;
  table['?'] |= kQuestion | kSchemeEnd | kAuthorityEnd;
  table['#'] |= kSchemeEnd | kAuthorityEnd;
  return table;
}
constexpr std::array<std::uint8_t, 256> kClasses = makeClasses();

std::uint8_t classOf(char c) noexcept { return kClasses[static_cast<unsigned char>(c)]; }
bool isUnreserved(char c) noexcept { return classOf(c) & kUnreserved; }
bool isSubDelim(char c) noexcept { return classOf(c) & kSubDelim; }

std::size_t findClass(std::string_view text, std::size_t from, std::uint8_t mask) noexcept {
  for (std::size_t i = from; i < text.size(); ++i) {
    if (classOf(text[i]) & mask) return i;
  }
  return std::string_view::npos;
}

// True when every character is either in `allowed` or part of a "%XX" escape.
bool isEncodedRun(std::string_view text, std::uint8_t allowed) noexcept {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (classOf(c) & allowed) continue;
    if (c != '%' || i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2])) return false;
    i += 2;
  }
  return true;
}

bool isValidIPLiteral(std::string_view inner) noexcept {
  if (inner.empty()) return false;
  if (inner[0] == 'v' || inner[0] == 'V') {
    // IPvFuture: "v" 1*HEXDIG "." 1*( unreserved / sub-delims / ":" )
    std::size_t i = 1;
    while (i < inner.size() && isHex(inner[i])) ++i;
    if (i == 1 || i >= inner.size() || inner[i] != '.' || i + 1 == inner.size()) return false;
    for (++i; i < inner.size(); ++i) {
      if (!isUnreserved(inner[i]) && !isSubDelim(inner[i]) && inner[i] != ':') return false;
    }
    return true;
  }
  if (inner.size() > 45) return false;  // longest IPv6 text form
  for (const char c : inner) {
    if (!isHex(c) && c != ':' && c != '.') return false;
  }
  in6_addr address{};
  return inet_pton(AF_INET6, std::string(inner).c_str(), &address) == 1;
}

URLRange rangeOf(std::size_t begin, std::size_t end) { return URLRange{begin, end - begin}; }

}  // namespace

bool isValidScheme(std::string_view text) noexcept {
  if (text.empty() || !isAlpha(text[0])) return false;
  for (const char c : text) {
    if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

bool isValidUserInfoPart(std::string_view text) noexcept { return isEncodedRun(text, kUnreserved | kSubDelim); }

bool isValidHost(std::string_view text) noexcept {
  if (!text.empty() && text.front() == '[') {
    return text.size() >= 2 && text.back() == ']' && isValidIPLiteral(text.substr(1, text.size() - 2));
  }
  return isEncodedRun(text, kUnreserved | kSubDelim);
}

bool isValidPath(std::string_view text) noexcept {
  return isEncodedRun(text, kUnreserved | kSubDelim | kColonAt | kSlash);
}

bool isValidQueryOrFragment(std::string_view text) noexcept {
  return isEncodedRun(text, kUnreserved | kSubDelim | kColonAt | kSlash | kQuestion);
}

std::optional<URLParts> parseURLReference(std::string_view text) {
  if (text.empty()) return std::nullopt;
  URLParts parts;
  std::size_t pos = 0;

  // A scheme is what precedes the first ":" when no "/", "?" or "#" comes earlier.
  const std::size_t delimiter = findClass(text, 0, kSchemeEnd);
  if (delimiter != std::string_view::npos && text[delimiter] == ':') {
    // A relative reference may not hold ":" in its first segment, so this must be a scheme.
    if (!isValidScheme(text.substr(0, delimiter))) return std::nullopt;
    parts.scheme = rangeOf(0, delimiter);
    pos = delimiter + 1;
  }

  if (text.substr(pos, 2) == "//") {
    const std::size_t begin = pos + 2;
    std::size_t end = findClass(text, begin, kAuthorityEnd);
    if (end == std::string_view::npos) end = text.size();
    std::size_t hostBegin = begin;
    const std::size_t at = text.find('@', begin);
    if (at != std::string_view::npos && at < end) {
      const std::size_t colon = text.find(':', begin);
      const std::size_t userEnd = (colon != std::string_view::npos && colon < at) ? colon : at;
      parts.user = rangeOf(begin, userEnd);
      if (!isValidUserInfoPart(text.substr(begin, userEnd - begin))) return std::nullopt;
      if (userEnd < at) {
        parts.password = rangeOf(userEnd + 1, at);
        if (!isValidUserInfoPart(text.substr(userEnd + 1, at - userEnd - 1))) return std::nullopt;
      }
      hostBegin = at + 1;
    }
    std::size_t hostEnd = end;
    if (hostBegin < end && text[hostBegin] == '[') {
      const std::size_t close = text.find(']', hostBegin);
      if (close == std::string_view::npos || close >= end) return std::nullopt;
      hostEnd = close + 1;
      if (hostEnd < end && text[hostEnd] != ':') return std::nullopt;
    } else {
      const std::size_t colon = text.find(':', hostBegin);
      if (colon != std::string_view::npos && colon < end) hostEnd = colon;
    }
    if (!isValidHost(text.substr(hostBegin, hostEnd - hostBegin))) return std::nullopt;
    parts.host = rangeOf(hostBegin, hostEnd);
    if (hostEnd < end) {
      // ":" then digits; an empty port counts as none.
      const std::size_t portBegin = hostEnd + 1;
      unsigned long value = 0;
      for (std::size_t i = portBegin; i < end; ++i) {
        if (!isDigit(text[i])) return std::nullopt;
        value = value * 10 + static_cast<unsigned long>(text[i] - '0');
        if (value > 65535) return std::nullopt;
      }
      if (portBegin < end) parts.port = rangeOf(portBegin, end);
    }
    pos = end;
  }

  std::size_t pathEnd = text.find_first_of("?#", pos);
  if (pathEnd == std::string_view::npos) pathEnd = text.size();
  if (!isValidPath(text.substr(pos, pathEnd - pos))) return std::nullopt;
  parts.path = rangeOf(pos, pathEnd);
  pos = pathEnd;

  if (pos < text.size() && text[pos] == '?') {
    std::size_t queryEnd = text.find('#', pos);
    if (queryEnd == std::string_view::npos) queryEnd = text.size();
    if (!isValidQueryOrFragment(text.substr(pos + 1, queryEnd - pos - 1))) return std::nullopt;
    parts.query = rangeOf(pos + 1, queryEnd);
    pos = queryEnd;
  }
  if (pos < text.size() && text[pos] == '#') {
    if (!isValidQueryOrFragment(text.substr(pos + 1))) return std::nullopt;
    parts.fragment = rangeOf(pos + 1, text.size());
  }
  return parts;
}

}  // namespace velmoria::base::detail
