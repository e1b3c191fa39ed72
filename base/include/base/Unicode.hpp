#pragma once

#include <compare>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Text helpers over UTF-8 strings. Functions that take "text" expect valid
// UTF-8; ill-formed input is read as if repaired by repairUTF8 first.
namespace velmoria::base {

bool isASCII(std::string_view bytes) noexcept;
bool isValidUTF8(std::string_view bytes) noexcept;

// Decodes UTF-8, replacing each maximal ill-formed subpart by U+FFFD (the
// Unicode-recommended practice): [E9] and [E2 82] give one U+FFFD, [C0 80] two.
std::string repairUTF8(std::string_view bytes);

// ISO Latin-1: every byte is the scalar of the same value.
std::string latin1ToUTF8(std::string_view bytes);
// Nothing when the text is not valid UTF-8 or holds a scalar above U+00FF.
std::optional<std::string> utf8ToLatin1(std::string_view text);

// Canonical (NFC) form; ASCII is returned as is without touching ICU.
std::string nfc(std::string_view text);
// String equality and order under canonical equivalence: NFC scalar order,
// which for UTF-8 is the byte order of the NFC forms.
bool canonicallyEqual(std::string_view a, std::string_view b);
std::strong_ordering canonicalCompare(std::string_view a, std::string_view b);
// Equal for canonically equivalent texts.
std::size_t canonicalHash(std::string_view text);

// Full Unicode case mappings, locale-independent ("ß" upper-cases to "SS").
std::string lowercased(std::string_view text);
std::string uppercased(std::string_view text);

// Drops leading and trailing scalars with the Unicode White_Space property
// (spaces, tabs, line and paragraph separators, NEL, ...).
std::string_view trimmingWhitespace(std::string_view text);

// The user-perceived characters (extended grapheme clusters) of a text, as
// views into it.
std::vector<std::string_view> graphemeClusters(std::string_view text);
// Letter and number tests on one character, judged by its first scalar:
// letter = Alphabetic, number = any Numeric_Type.
bool isLetter(std::string_view character);
bool isNumber(std::string_view character);

// The ASCII form in which a domain name travels (IDNA, UTS #46 nontransitional, as browsers resolve
// names): "Bücher.DE" -> "xn--bcher-kva.de"; ASCII names come back lower-cased. Nothing when the name
// has no valid ASCII form.
std::optional<std::string> idnaASCII(std::string_view domain);

}  // namespace velmoria::base
