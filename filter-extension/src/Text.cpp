#include "velmoria_filter/Text.hpp"

#include <algorithm>

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace velmoria::filter::text {
namespace {

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isAsciiSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool isSpace(UChar32 c) {
  // White_Space covers the separators, tab to carriage return, and NEL.
  return c >= 0 && u_isUWhiteSpace(c);
}

}  // namespace

std::optional<std::string> decodeUtf8(std::span<const std::uint8_t> bytes) {
  const auto* data = bytes.data();
  const auto length = static_cast<std::int32_t>(bytes.size());
  if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) return std::nullopt;
  std::int32_t i = 0;
  while (i < length) {
    if (data[i] < 0x80) {
      ++i;
      continue;
    }
    UChar32 c = 0;
    U8_NEXT(data, i, length, c);
    if (c < 0) return std::nullopt;
  }
  return std::string(bytes.begin(), bytes.end());
}

bool isLowercase(std::string_view text) {
  if (isAscii(text)) {
    return std::none_of(text.begin(), text.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
  }
  return lowercased(text) == text;
}

std::string lowercased(std::string_view text) {
  if (isAscii(text)) {
    std::string out(text);
    for (auto& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
  }
  auto unicode = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
  unicode.toLower(icu::Locale::getRoot());
  std::string out;
  unicode.toUTF8String(out);
  return out;
}

std::string_view trimmed(std::string_view text) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
  auto begin = std::int32_t{0};
  auto end = static_cast<std::int32_t>(text.size());
  while (begin < end) {
    if (data[begin] < 0x80) {
      if (!isAsciiSpace(data[begin])) break;
      ++begin;
      continue;
    }
    auto next = begin;
    UChar32 c = 0;
    U8_NEXT(data, next, end, c);
    if (!isSpace(c)) break;
    begin = next;
  }
  while (end > begin) {
    if (data[end - 1] < 0x80) {
      if (!isAsciiSpace(data[end - 1])) break;
      --end;
      continue;
    }
    auto previous = end;
    UChar32 c = 0;
    U8_PREV(data, begin, previous, c);
    if (!isSpace(c)) break;
    end = previous;
  }
  return text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

}  // namespace velmoria::filter::text
