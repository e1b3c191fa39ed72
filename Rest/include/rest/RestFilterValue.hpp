#pragma once

#include <concepts>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "base/Date.hpp"
#include "base/UUID.hpp"
#include "helpers/AnyJSON.hpp"

namespace zirudeze::rest {

// One operand of a filter, rendered to its filter text when it is made. Construction is implicit
// from the types the database filters take; each has exactly one constructor, so a string literal
// never becomes a Bool and an integer never a Double.
class RestFilterValue {
 public:
  // Text as it is, with no quoting or escaping; as an element of a list or array it is quoted where the
  // list syntax needs it (see array()).
  RestFilterValue(std::string text) noexcept : rawValue_(std::move(text)) {}
  RestFilterValue(std::string_view text) : rawValue_(text) {}
  RestFilterValue(const char* text) : rawValue_(text) {}

  // "true" or "false".
  template <class T>
  requires std::same_as<T, bool> RestFilterValue(T value) : rawValue_(value ? "true" : "false") {}

  // Decimal digits, "-" for negatives.
  template <class T>
  requires(std::integral<T> && !std::same_as<T, bool> && !std::same_as<T, char>) RestFilterValue(T value)
      : rawValue_(std::is_signed_v<T> ? signedText(static_cast<long long>(value))
                                      : unsignedText(static_cast<unsigned long long>(value))) {}

  // The shortest text that reads back as the same number; whole numbers end in ".0".
  template <std::floating_point T>
  RestFilterValue(T value) : rawValue_(doubleText(static_cast<double>(value))) {}

  // Upper-case hyphenated form.
  RestFilterValue(const velmoria::base::UUID& uuid) : rawValue_(uuid.uuidString()) {}
  // ISO 8601 in UTC with milliseconds: 2024-05-01T12:00:00.000Z.
  RestFilterValue(velmoria::base::Date date);

  // null "NULL", arrays "{...}" of their rendered elements, objects as JSON text. Exact types only, so
  // nothing reaches these through AnyJSON's own conversions (a pointer would become a Bool).
  template <class T>
  requires std::same_as<T, helpers::AnyJSON> RestFilterValue(const T& json) : RestFilterValue(fromJSON(json)) {}
  // JSON text with sorted keys and "/" unescaped.
  template <class T>
  requires std::same_as<T, helpers::JSONObject> RestFilterValue(const T& object)
      : RestFilterValue(fromObject(object)) {}

  // "NULL", also as an element (where the text "NULL" is quoted).
  RestFilterValue(std::nullopt_t) : rawValue_("NULL"), shape_(Shape::null) {}
  template <class T>
  requires std::constructible_from<RestFilterValue, const T&> RestFilterValue(const std::optional<T>& value)
      : RestFilterValue(value ? RestFilterValue(*value) : RestFilterValue(std::nullopt)) {}

  // "{" + elements joined with "," + "}". An element that holds one of , ( ) { } " or a backslash, white
  // space, nothing at all, or the text NULL is put in double quotes (its quotes and backslashes escaped by a
  // backslash), so caller text can neither split nor reshape the list; nested arrays and NULL stay bare.
  template <class T>
  requires std::constructible_from<RestFilterValue, const T&> RestFilterValue(const std::vector<T>& values) {
    std::vector<RestFilterValue> rendered(values.begin(), values.end());
    *this = array(rendered);
  }
  static RestFilterValue array(const std::vector<RestFilterValue>& elements);
  // The elements joined with ",", quoted as in array(), without braces.
  static RestFilterValue joined(const std::vector<RestFilterValue>& elements);
  // A list's elements in parentheses, "(1,2)", as the service reads a list under "in"; any other value
  // as it is.
  RestFilterValue inParentheses() const;

  const std::string& rawValue() const noexcept { return rawValue_; }
  // Why this operand cannot be rendered (a number JSON cannot express); a builder keeps it as its error.
  const std::optional<std::string>& error() const noexcept { return error_; }

  friend bool operator==(const RestFilterValue&, const RestFilterValue&) = default;

 private:
  RestFilterValue() = default;
  static RestFilterValue fromJSON(const helpers::AnyJSON& json);
  static RestFilterValue fromObject(const helpers::JSONObject& object);
  static std::string signedText(long long value);
  static std::string unsignedText(unsigned long long value);
  static std::string doubleText(double value);

  // How the value stands as an element of a list: only text is ever quoted.
  enum class Shape { text, null, list };

  std::string rawValue_;
  std::optional<std::string> error_;
  Shape shape_ = Shape::text;
};

}  // namespace zirudeze::rest
