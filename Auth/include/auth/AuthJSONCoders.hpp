#pragma once

#include "base/coding/JSONCoders.hpp"

namespace zirudeze::auth {

// The auth service's wire coders: the shared coders' date rule, camel-case key texts written as snake
// case and snake-case members read back as camel case. Free-form maps keep their keys.
struct AuthJSONCoders {
  // Made once, never changed; safe from any thread.
  static const velmoria::base::JSONEncoder& encoder();
  static const velmoria::base::JSONDecoder& decoder();
  // Fresh copies with the same settings, for configurations that change them.
  static velmoria::base::JSONEncoder makeEncoder();
  static velmoria::base::JSONDecoder makeDecoder();
};

// The stored session's coders: keys exactly as declared, dates as plain numbers of seconds since
// 2001-01-01T00:00:00Z. Reading gives back the instant that was written (to the microsecond and, where
// a double can tell, below), not the nearest nanosecond below it.
struct StoredSessionCoders {
  static const velmoria::base::JSONEncoder& encoder();
  static const velmoria::base::JSONDecoder& decoder();
};

}  // namespace zirudeze::auth
