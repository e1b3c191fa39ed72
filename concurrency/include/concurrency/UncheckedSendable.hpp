#pragma once

#include <compare>
#include <functional>
#include <utility>

namespace zirudeze::concurrency {

// Marks a value as safe to hand to another thread without any checking; it synchronises nothing.
template <class Value>
struct UncheckedSendable {
  Value value;

  explicit UncheckedSendable(Value wrapped) : value(std::move(wrapped)) {}

  Value& wrappedValue() { return value; }
  const Value& wrappedValue() const { return value; }

  template <class Member, class V = Value>
  Member operator[](Member V::*member) const {
    return value.*member;
  }

  // A wrapped asynchronous sequence is itself one, with the wrapped sequence's iterator.
  auto makeAsyncIterator() const requires requires(const Value& v) { v.makeAsyncIterator(); }
  { return value.makeAsyncIterator(); }

  friend bool operator==(const UncheckedSendable& lhs, const UncheckedSendable& rhs) requires requires(const Value& v) {
    v == v;
  }
  { return lhs.value == rhs.value; }
};

// A mutable cell shared by reference and read or written without a lock; its users lock around it.
template <class Value>
struct UncheckedBox {
  Value wrappedValue;
};

}  // namespace zirudeze::concurrency

template <class Value>
requires requires(const Value& v) { std::hash<Value>{}(v); }
struct std::hash<zirudeze::concurrency::UncheckedSendable<Value>> {
  std::size_t operator()(const zirudeze::concurrency::UncheckedSendable<Value>& wrapped) const {
    return std::hash<Value>{}(wrapped.value);
  }
};

// The Helpers module names these too.
namespace zirudeze::helpers {
using namespace ::zirudeze::concurrency;
}  // namespace zirudeze::helpers
