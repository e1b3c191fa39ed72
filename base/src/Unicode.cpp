#include "base/Unicode.hpp"

#include <algorithm>
#include <memory>
#include <stdexcept>

#include <unicode/brkiter.h>
#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

#include "UTF8.hpp"

namespace velmoria::base {
namespace {

using detail::decodeScalar;
using detail::kInvalidScalar;

// ICU only reports failures here for allocation or internal errors.
void check(UErrorCode status, const char* what) {
  if (U_FAILURE(status)) throw std::runtime_error(std::string(what) + ": " + u_errorName(status));
}

const icu::Normalizer2& nfcNormalizer() {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
  check(status, "NFC normalizer");
  return *normalizer;
}

// ICU's UTF-8 entry points need well-formed input for predictable offsets.
std::string wellFormed(std::string_view text) { return isValidUTF8(text) ? std::string(text) : repairUTF8(text); }

char32_t firstScalar(std::string_view character) {
  if (character.empty()) return kInvalidScalar;
  const auto decoded = decodeScalar(character, 0);
  return decoded.scalar == kInvalidScalar ? U'\uFFFD' : decoded.scalar;
}

std::string mapCase(std::string_view text, bool lower) {
  std::string out;
  out.reserve(text.size());
  // Each scalar is mapped on its own, with no context (a final capital sigma
  // becomes the ordinary small sigma), as the platform's string type does. The
  // empty locale name selects the root locale: no Turkish or Lithuanian rules.
  icu::StringByteSink<std::string> sink(&out);
  for (std::size_t pos = 0; pos < text.size();) {
    const char c = text[pos];
    if (static_cast<unsigned char>(c) < 0x80) {
      if (lower && c >= 'A' && c <= 'Z')
        out.push_back(static_cast<char>(c - 'A' + 'a'));
      else if (!lower && c >= 'a' && c <= 'z')
        out.push_back(static_cast<char>(c - 'a' + 'A'));
      else
        out.push_back(c);
      ++pos;
      continue;
    }
    const auto decoded = decodeScalar(text, pos);
    const std::string_view scalar =
        decoded.scalar == kInvalidScalar ? std::string_view("\xEF\xBF\xBD") : text.substr(pos, decoded.length);
    pos += decoded.length;
    UErrorCode status = U_ZERO_ERROR;
    if (lower) {
      icu::CaseMap::utf8ToLower("", 0, scalar, sink, nullptr, status);
    } else {
      icu::CaseMap::utf8ToUpper("", 0, scalar, sink, nullptr, status);
    }
    check(status, "case mapping");
  }
  return out;
}

}  // namespace

bool isASCII(std::string_view bytes) noexcept {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isValidUTF8(std::string_view bytes) noexcept {
  for (std::size_t pos = 0; pos < bytes.size();) {
    const auto decoded = decodeScalar(bytes, pos);
    if (decoded.scalar == kInvalidScalar) return false;
    pos += decoded.length;
  }
  return true;
}

std::string repairUTF8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t pos = 0; pos < bytes.size();) {
    const auto decoded = decodeScalar(bytes, pos);
    if (decoded.scalar == kInvalidScalar) {
      out += "\xEF\xBF\xBD";
    } else {
      out.append(bytes.substr(pos, decoded.length));
    }
    pos += decoded.length;
  }
  return out;
}

std::string latin1ToUTF8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) detail::appendUTF8(out, static_cast<unsigned char>(c));
  return out;
}

std::optional<std::string> utf8ToLatin1(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const auto decoded = decodeScalar(text, pos);
    if (decoded.scalar == kInvalidScalar || decoded.scalar > 0xFF) return std::nullopt;
    out.push_back(static_cast<char>(decoded.scalar));
    pos += decoded.length;
  }
  return out;
}

std::string nfc(std::string_view text) {
  if (isASCII(text)) return std::string(text);
  const std::string input = wellFormed(text);
  const icu::Normalizer2& normalizer = nfcNormalizer();
  UErrorCode status = U_ZERO_ERROR;
  if (normalizer.isNormalizedUTF8(input, status) && U_SUCCESS(status)) return input;
  status = U_ZERO_ERROR;
  std::string out;
  icu::StringByteSink<std::string> sink(&out);
  normalizer.normalizeUTF8(0, input, sink, nullptr, status);
  check(status, "NFC normalization");
  return out;
}

std::strong_ordering canonicalCompare(std::string_view a, std::string_view b) {
  // Both ASCII, or both already NFC, compare as they are.
  if (isASCII(a) && isASCII(b)) return a.compare(b) <=> 0;
  const std::string na = nfc(a);
  const std::string nb = nfc(b);
  return na.compare(nb) <=> 0;
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
  if (a == b) return true;
  if (isASCII(a) && isASCII(b)) return false;
  return nfc(a) == nfc(b);
}

std::size_t canonicalHash(std::string_view text) {
  if (isASCII(text)) return std::hash<std::string_view>{}(text);
  return std::hash<std::string>{}(nfc(text));
}

std::string lowercased(std::string_view text) { return mapCase(text, true); }
std::string uppercased(std::string_view text) { return mapCase(text, false); }

std::string_view trimmingWhitespace(std::string_view text) {
  const auto isSpace = [](char32_t c) {
    return c != kInvalidScalar && u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_WHITE_SPACE);
  };
  std::size_t begin = 0;
  while (begin < text.size()) {
    const auto decoded = decodeScalar(text, begin);
    if (!isSpace(decoded.scalar)) break;
    begin += decoded.length;
  }
  // Walk forward from `begin`, remembering where the last non-space scalar ends.
  std::size_t end = begin;
  for (std::size_t pos = begin; pos < text.size();) {
    const auto decoded = decodeScalar(text, pos);
    pos += decoded.length;
    if (!isSpace(decoded.scalar)) end = pos;
  }
  return text.substr(begin, end - begin);
}

std::vector<std::string_view> graphemeClusters(std::string_view text) {
  std::vector<std::string_view> clusters;
  if (text.empty()) return clusters;
  if (isASCII(text)) {
    // Only CR LF joins in ASCII.
    for (std::size_t i = 0; i < text.size(); ++i) {
      const std::size_t n = (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      clusters.push_back(text.substr(i, n));
      i += n - 1;
    }
    return clusters;
  }

  UErrorCode status = U_ZERO_ERROR;
  // One iterator per thread: creating one loads break rules, which is slow.
  thread_local std::unique_ptr<icu::BreakIterator> iterator;
  if (!iterator) {
    iterator.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    check(status, "grapheme iterator");
  }
  UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
  check(status, "grapheme text");
  const std::unique_ptr<UText, UText* (*)(UText*)> guard(utext, utext_close);
  iterator->setText(utext, status);
  check(status, "grapheme text");
  // Offsets are native UTF-8 indices of the input.
  int32_t start = iterator->first();
  for (int32_t next = iterator->next(); next != icu::BreakIterator::DONE; start = next, next = iterator->next()) {
    clusters.push_back(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(next - start)));
  }
  // Leave no dangling pointer to the caller's text behind.
  iterator->setText(icu::UnicodeString());
  return clusters;
}

bool isLetter(std::string_view character) {
  const char32_t c = firstScalar(character);
  return c != kInvalidScalar && u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_ALPHABETIC);
}

bool isNumber(std::string_view character) {
  const char32_t c = firstScalar(character);
  return c != kInvalidScalar && u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

}  // namespace velmoria::base
