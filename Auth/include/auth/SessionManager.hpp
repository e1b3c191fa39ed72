#pragma once

#include <functional>
#include <string>

#include "auth/Session.hpp"

namespace zirudeze::auth {

// Keeps the signed-in session fresh: the current session (refreshed first when it is about to expire),
// refreshes with at most one request in flight, and the periodic check. Each operation may be called
// from any thread; the blocking ones may throw.
struct SessionManager {
  std::function<Session()> session;
  std::function<Session(const std::string& refreshToken)> refreshSession;
  std::function<void(const Session&)> update;
  std::function<void()> remove;
  std::function<void()> startAutoRefresh;
  std::function<void()> stopAutoRefresh;
};

}  // namespace zirudeze::auth
