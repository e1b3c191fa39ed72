#pragma once

#include "base/coding/JSONCoders.hpp"

namespace zirudeze::helpers {

// The process-wide decoder: dates by parseISO8601Date (failing with "Invalid date format: <text>"),
// every other setting the default. Created once, never changed; safe to use from any thread.
struct JSONDecoder {
  static const velmoria::base::JSONDecoder& shared();
  // A fresh decoder with the settings of shared(), for the caller to change as it likes.
  static velmoria::base::JSONDecoder makeDefault();
};

// The process-wide encoder: dates as formatISO8601Date text, every other setting the default.
struct JSONEncoder {
  static const velmoria::base::JSONEncoder& shared();
  static velmoria::base::JSONEncoder makeDefault();
};

}  // namespace zirudeze::helpers
