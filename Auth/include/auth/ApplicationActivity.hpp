#pragma once

#include <string_view>

namespace zirudeze::auth {

// Posted on the default notification centre (no object, no user info) when the application becomes the
// active one and when it is about to stop being it. Auth clients follow them to refresh only while the
// application is in use.
inline constexpr std::string_view kApplicationDidBecomeActiveNotification = "NSApplicationDidBecomeActiveNotification";
inline constexpr std::string_view kApplicationWillResignActiveNotification =
    "NSApplicationWillResignActiveNotification";

}  // namespace zirudeze::auth
