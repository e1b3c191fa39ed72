#pragma once

#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <typeinfo>

namespace zirudeze::concurrency::detail {

template <class T>
concept Hashable = std::equality_comparable<T> && requires(const T& v) {
  { std::hash<T>{}(v) } -> std::convertible_to<std::size_t>;
};

std::string quotedText(std::string_view text);

template <class T>
std::string describe(const T& value) {
  if constexpr (requires {
                  { value.description() } -> std::convertible_to<std::string>;
                }) {
    return value.description();
  } else if constexpr (std::is_same_v<T, std::string>) {
    return value;
  } else if constexpr (std::is_same_v<T, bool>) {
    return value ? "true" : "false";
  } else if constexpr (requires(std::ostream & out) { out << value; }) {
    std::ostringstream out;
    out << value;
    return out.str();
  } else {
    return typeid(T).name();
  }
}

template <class T>
std::string debugDescribe(const T& value) {
  if constexpr (requires {
                  { value.debugDescription() } -> std::convertible_to<std::string>;
                }) {
    return value.debugDescription();
  } else if constexpr (std::is_same_v<T, std::string>) {
    return quotedText(value);
  } else {
    return describe(value);
  }
}

}  // namespace zirudeze::concurrency::detail

namespace zirudeze::concurrency {

// A hashable value of any type, held type-erased so it can be used as a key across threads. Two
// values are equal only when their bases have the same type and compare equal: the integer 1 and the
// double 1.0 differ.
class AnyHashableSendable {
 public:
  // Integer and floating-point values are stored as 64-bit integers and doubles, texts as std::string,
  // the way literals are.
  AnyHashableSendable(bool value) : AnyHashableSendable(Tag{}, value) {}
  template <std::signed_integral T>
  AnyHashableSendable(T value) : AnyHashableSendable(Tag{}, static_cast<std::int64_t>(value)) {}
  template <std::floating_point T>
  AnyHashableSendable(T value) : AnyHashableSendable(Tag{}, static_cast<double>(value)) {}
  AnyHashableSendable(const char* text) : AnyHashableSendable(Tag{}, std::string(text)) {}
  AnyHashableSendable(std::string_view text) : AnyHashableSendable(Tag{}, std::string(text)) {}
  AnyHashableSendable(std::string text) : AnyHashableSendable(Tag{}, std::move(text)) {}

  template <detail::Hashable T>
  requires(!std::is_same_v<std::decay_t<T>, AnyHashableSendable> && !std::is_arithmetic_v<std::decay_t<T>> &&
           !std::is_convertible_v<T, std::string_view>) explicit AnyHashableSendable(T value)
      : AnyHashableSendable(Tag{}, std::move(value)) {}

  // Copies take over the base, so wrapping a wrapper never nests.
  AnyHashableSendable(const AnyHashableSendable&) = default;
  AnyHashableSendable& operator=(const AnyHashableSendable&) = default;

  std::type_index type() const { return base_->type(); }

  // The base when it has type T, else null.
  template <class T>
  const T* as() const {
    if (base_->type() != typeid(T)) return nullptr;
    return &static_cast<const Model<T>&>(*base_).value;
  }

  std::size_t hashValue() const { return base_->hash(); }
  std::string description() const { return base_->description(); }
  std::string debugDescription() const { return "AnyHashableSendable(" + base_->debugDescription() + ")"; }

  friend bool operator==(const AnyHashableSendable& lhs, const AnyHashableSendable& rhs) {
    return lhs.base_->type() == rhs.base_->type() && lhs.base_->equals(*rhs.base_);
  }

 private:
  struct Tag {};

  struct Concept {
    virtual ~Concept() = default;
    virtual std::type_index type() const = 0;
    virtual bool equals(const Concept& other) const = 0;
    virtual std::size_t hash() const = 0;
    virtual std::string description() const = 0;
    virtual std::string debugDescription() const = 0;
  };

  template <class T>
  struct Model final : Concept {
    explicit Model(T v) : value(std::move(v)) {}
    std::type_index type() const override { return typeid(T); }
    bool equals(const Concept& other) const override { return value == static_cast<const Model&>(other).value; }
    std::size_t hash() const override { return std::hash<T>{}(value); }
    std::string description() const override { return detail::describe(value); }
    std::string debugDescription() const override { return detail::debugDescribe(value); }
    T value;
  };

  template <class T>
  AnyHashableSendable(Tag, T value) : base_(std::make_shared<const Model<T>>(std::move(value))) {}

  std::shared_ptr<const Concept> base_;
};

}  // namespace zirudeze::concurrency

template <>
struct std::hash<zirudeze::concurrency::AnyHashableSendable> {
  std::size_t operator()(const zirudeze::concurrency::AnyHashableSendable& value) const { return value.hashValue(); }
};

// The Helpers module names these too.
namespace zirudeze::helpers {
using namespace ::zirudeze::concurrency;
}  // namespace zirudeze::helpers
