#pragma once

#include <charconv>
#include <concepts>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>

namespace zirudeze::issuereporting {

// A text in double quotes with its special characters escaped.
std::string quotedText(std::string_view text);

// The name of a type as written in code.
std::string demangledName(const std::type_info& type);

template <class T>
struct IsOptionalValue : std::false_type {};
template <class T>
struct IsOptionalValue<std::optional<T>> : std::true_type {};

template <class T>
concept Streamable = requires(std::ostream& out, const T& value) {
  out << value;
};

// How an argument is shown in an "Invoked with" line: texts quoted, numbers and Booleans plainly,
// optionals as Optional(x) or nil, other streamable values as they stream, anything else by type name.
template <class T>
std::string debugRender(const T& value) {
  using U = std::remove_cvref_t<T>;
  if constexpr (std::is_same_v<U, bool>) {
    return value ? "true" : "false";
  } else if constexpr (std::is_same_v<U, std::string> || std::is_same_v<U, std::string_view> ||
                       std::is_same_v<U, const char*> || std::is_same_v<U, char*>) {
    return quotedText(value);
  } else if constexpr (std::is_array_v<U> && std::is_same_v<std::remove_extent_t<U>, char>) {
    return quotedText(std::string_view(value));
  } else if constexpr (std::is_same_v<U, char>) {
    return quotedText(std::string_view(&value, 1));
  } else if constexpr (std::is_arithmetic_v<U>) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
  } else if constexpr (IsOptionalValue<U>::value) {
    return value ? "Optional(" + debugRender(*value) + ")" : std::string("nil");
  } else if constexpr (Streamable<U>) {
    std::ostringstream out;
    out << value;
    return out.str();
  } else {
    return demangledName(typeid(U));
  }
}

// One argument stands for itself; none or several are shown as a tuple.
template <class... Args>
std::string debugRenderArguments(const Args&... arguments) {
  if constexpr (sizeof...(Args) == 1) {
    return (debugRender(arguments), ...);
  } else {
    std::string out = "(";
    bool first = true;
    ((out += (first ? "" : ", ") + debugRender(arguments), first = false), ...);
    return out + ")";
  }
}

}  // namespace zirudeze::issuereporting
