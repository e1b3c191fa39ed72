#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "auth/AuthClientID.hpp"
#include "auth/Session.hpp"
#include "base/Date.hpp"
#include "helpers/SleepClock.hpp"

namespace zirudeze::auth {

// What the automatic refresh waits on and reads the time from.
struct SessionManagerClocks {
  // The pause between two checks. Null: the process's sleeping clock.
  std::shared_ptr<const helpers::SleepClock> sleepClock;
  // The wall clock that expiry is judged by. Empty: the system clock.
  std::function<base::Date()> now;
};

// Keeps the signed-in session fresh: the current session (refreshed first when it is about to expire),
// refreshes with at most one request in flight, and the periodic check. Each operation may be called
// from any thread; the blocking ones may throw.
struct SessionManager {
  std::function<Session()> session;
  // Joins the refresh in flight whatever its token; otherwise refreshes with this one.
  std::function<Session(const std::string& refreshToken)> refreshSession;
  std::function<void(const Session&)> update;
  std::function<void()> remove;
  // Never block: the loop runs as a task of its own.
  std::function<void()> startAutoRefresh;
  std::function<void()> stopAutoRefresh;
  // Refreshes (or joins the refresh in flight) only while the stored session still carries this refresh
  // token; a token that was rotated or signed out meanwhile is never sent. Result and errors are dropped.
  std::function<void(const std::string& refreshToken)> refreshIfStored;

  static constexpr double autoRefreshTickDuration = 30;
  static constexpr std::int64_t autoRefreshTickThreshold = 3;

  // One manager for the client, over the registry entry of `clientID`.
  static SessionManager live(AuthClientID clientID, SessionManagerClocks clocks = {});
};

// Whole ticks of autoRefreshTickDuration in `secondsLeft`, toward zero. Beyond the 64-bit range the
// count saturates: +inf and huge values never refresh; -inf, huge negative values and NaN always do.
std::int64_t autoRefreshTicks(double secondsLeft);

}  // namespace zirudeze::auth
