#pragma once

#include "base/coding/Coding.hpp"
#include "concurrency/UncheckedSendable.hpp"

// An unchecked wrapper codes as the wrapped value itself, with no level of its own.
template <class Value>
struct velmoria::base::Coding<zirudeze::concurrency::UncheckedSendable<Value>> {
  static void encode(const zirudeze::concurrency::UncheckedSendable<Value>& wrapped, Encoder& encoder) {
    Coding<Value>::encode(wrapped.value, encoder);
  }
  static zirudeze::concurrency::UncheckedSendable<Value> decode(const Decoder& decoder) {
    return zirudeze::concurrency::UncheckedSendable<Value>(Coding<Value>::decode(decoder));
  }
};
