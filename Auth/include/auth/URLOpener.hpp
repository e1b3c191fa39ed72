#pragma once

#include <functional>

#include "base/URL.hpp"

namespace zirudeze::auth {

// Opens a URL outside the program, as the OAuth flows need; returns at once, reports nothing.
struct URLOpener {
  std::function<void(const velmoria::base::URL&)> open;

  // The desktop's opener, started without a shell, safe from any thread.
  static URLOpener live();
};

}  // namespace zirudeze::auth
