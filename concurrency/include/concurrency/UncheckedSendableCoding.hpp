#pragma once

#include "base/coding/Coding.hpp"
#include "concurrency/UncheckedSendable.hpp"

// An unchecked wrapper codes as the wrapped value itself, with no level of its own.
template <class Value>
struct base::Coding<zirudeze::helpers::UncheckedSendable<Value>> {
  static void encode(const zirudeze::helpers::UncheckedSendable<Value>& wrapped, Encoder& encoder) {
    Coding<Value>::encode(wrapped.value, encoder);
  }
  static zirudeze::helpers::UncheckedSendable<Value> decode(const Decoder& decoder) {
    return zirudeze::helpers::UncheckedSendable<Value>(Coding<Value>::decode(decoder));
  }
};
