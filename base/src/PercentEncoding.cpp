#include "base/PercentEncoding.hpp"

#include "base/HexDigit.hpp"
#include "base/Unicode.hpp"

namespace velmoria::base {
namespace {

constexpr std::string_view kUnreserved = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
constexpr std::string_view kSubDelims = "!$&'()*+,;=";

CharacterSet unreservedAndSubDelims() noexcept {
  return CharacterSet::characters(kUnreserved).unioned(CharacterSet::characters(kSubDelims));
}

}  // namespace

CharacterSet CharacterSet::characters(std::string_view ascii) noexcept {
  CharacterSet set;
  for (const char ch : ascii) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 128) set.bits_[c >> 6] |= std::uint64_t{1} << (c & 63);
  }
  return set;
}

CharacterSet CharacterSet::alphanumerics() noexcept {
  return characters("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789");
}

// The URL sets are those of the platform's URL classes: user and password lack
// ":" (it separates them), the path set lacks ";", query and fragment add "?".
CharacterSet CharacterSet::urlUserAllowed() noexcept { return unreservedAndSubDelims(); }
CharacterSet CharacterSet::urlPasswordAllowed() noexcept { return unreservedAndSubDelims(); }
CharacterSet CharacterSet::urlHostAllowed() noexcept { return unreservedAndSubDelims().unioned(characters(":[]")); }
CharacterSet CharacterSet::urlPathAllowed() noexcept {
  return unreservedAndSubDelims().subtracting(";").unioned(characters(":@/"));
}
CharacterSet CharacterSet::urlQueryAllowed() noexcept { return unreservedAndSubDelims().unioned(characters(":@/?")); }
CharacterSet CharacterSet::urlFragmentAllowed() noexcept { return urlQueryAllowed(); }

CharacterSet CharacterSet::unioned(const CharacterSet& other) const noexcept {
  CharacterSet set;
  set.bits_[0] = bits_[0] | other.bits_[0];
  set.bits_[1] = bits_[1] | other.bits_[1];
  return set;
}

CharacterSet CharacterSet::subtracting(const CharacterSet& other) const noexcept {
  CharacterSet set;
  set.bits_[0] = bits_[0] & ~other.bits_[0];
  set.bits_[1] = bits_[1] & ~other.bits_[1];
  return set;
}

std::optional<std::string> addingPercentEncoding(std::string_view text, const CharacterSet& allowed) {
  std::string out;
  out.reserve(text.size());
  if (!appendPercentEncoded(out, text, allowed)) return std::nullopt;
  return out;
}

bool appendPercentEncoded(std::string& out, std::string_view text, const CharacterSet& allowed) {
  if (!isValidUTF8(text)) return false;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::size_t run = 0;  // start of the pending run of allowed characters
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (allowed.contains(c)) continue;
    out.append(text.substr(run, i - run));
    out += {'%', kHex[c >> 4], kHex[c & 0x0F]};
    run = i + 1;
  }
  out.append(text.substr(run));
  return true;
}

std::optional<std::string> removingPercentEncoding(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = hexDigitValue(text[i + 1]);
    const int low = hexDigitValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<char>(high << 4 | low));
    i += 2;
  }
  if (!isValidUTF8(out)) return std::nullopt;
  return out;
}

}  // namespace velmoria::base
