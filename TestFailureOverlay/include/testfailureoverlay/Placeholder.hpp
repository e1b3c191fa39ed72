#pragma once

#include <chrono>
#include <concepts>
#include <exception>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/URL.hpp"
#include "base/UUID.hpp"
#include "concurrency/AsyncStream.hpp"
#include "concurrency/CancellationError.hpp"

namespace zirudeze::testfailureoverlay {

// No placeholder value can be made for a type.
class PlaceholderGenerationFailure : public std::exception {
 public:
  const char* what() const noexcept override { return "PlaceholderGenerationFailure()"; }
};

// Types with an obvious empty value. Specialise with `static T make()` to add one.
template <class T>
struct DefaultInitializable;

template <>
struct DefaultInitializable<bool> {
  static bool make() { return false; }
};
template <>
struct DefaultInitializable<char> {
  static char make() { return ' '; }
};
template <>
struct DefaultInitializable<std::string> {
  static std::string make() { return {}; }
};
template <>
struct DefaultInitializable<std::chrono::system_clock::time_point> {
  static std::chrono::system_clock::time_point make() { return std::chrono::system_clock::now(); }
};
template <>
struct DefaultInitializable<velmoria::base::UUID> {
  static velmoria::base::UUID make() { return velmoria::base::UUID::random(); }
};
template <>
struct DefaultInitializable<velmoria::base::URL> {
  static velmoria::base::URL make() {
    if (auto url = velmoria::base::URL::parse("/")) return *url;
    throw PlaceholderGenerationFailure();
  }
};
template <class T>
struct DefaultInitializable<concurrency::AsyncStream<T>> {
  static concurrency::AsyncStream<T> make() {
    auto [stream, continuation] = concurrency::AsyncStream<T>::makeStream();
    continuation.finish();
    return std::move(stream);
  }
};
template <class T>
struct DefaultInitializable<concurrency::AsyncThrowingStream<T>> {
  static concurrency::AsyncThrowingStream<T> make() {
    auto [stream, continuation] = concurrency::AsyncThrowingStream<T>::makeStream();
    continuation.finish(std::make_exception_ptr(concurrency::CancellationError()));
    return std::move(stream);
  }
};

// Opt-in for enumerations whose cases can be listed: `static std::vector<T> allCases()`.
template <class T>
struct CaseIterable;

// Opt-in for types built from a raw value: `using RawValue = ...;` and
// `static std::optional<T> fromRawValue(const RawValue&)`.
template <class T>
struct RawRepresentable;

}  // namespace zirudeze::testfailureoverlay

namespace zirudeze::testfailureoverlay::detail {

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

template <class T>
concept EmptyCollection = std::default_initializable<T> && requires(T& value) {
  value.begin();
  value.end();
  value.clear();
  typename T::value_type;
};

template <class T>
std::optional<T> tryPlaceholder();

}  // namespace zirudeze::testfailureoverlay::detail

namespace zirudeze::testfailureoverlay {

// A placeholder value of T, or PlaceholderGenerationFailure. First match wins: an empty value of its
// own, the empty tuple, an empty collection, zero, a value built from its raw value's placeholder,
// its first case, none for an optional.
template <class T>
T generatePlaceholder() {
  if (auto value = detail::tryPlaceholder<T>()) return std::move(*value);
  throw PlaceholderGenerationFailure();
}

template <class T>
std::optional<T> detail::tryPlaceholder() {
  if constexpr (requires { DefaultInitializable<T>::make(); }) {
    return DefaultInitializable<T>::make();
  } else if constexpr (std::is_same_v<T, std::tuple<>>) {
    return std::tuple<>{};
  } else if constexpr (EmptyCollection<T>) {
    return T{};
  } else if constexpr (std::is_arithmetic_v<T>) {
    return T{0};
  } else {
    if constexpr (requires { typename RawRepresentable<T>::RawValue; }) {
      if (auto raw = tryPlaceholder<typename RawRepresentable<T>::RawValue>()) {
        if (auto value = RawRepresentable<T>::fromRawValue(*raw)) return value;
      }
    }
    if constexpr (requires { CaseIterable<T>::allCases(); }) {
      const auto cases = CaseIterable<T>::allCases();
      if (!cases.empty()) return cases.front();
    }
    if constexpr (IsOptional<T>::value) {
      return std::optional<T>(T(std::nullopt));
    } else {
      return std::nullopt;
    }
  }
}

}  // namespace zirudeze::testfailureoverlay
