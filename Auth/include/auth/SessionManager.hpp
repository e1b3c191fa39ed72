#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "auth/AuthClientID.hpp"
#include "auth/AuthEnumerations.hpp"
#include "auth/Session.hpp"
#include "base/Date.hpp"
#include "helpers/SleepClock.hpp"

namespace zirudeze::auth {

// What the automatic refresh waits on and reads the time from.
struct SessionManagerClocks {
  // The pause between two checks. Null: the process's sleeping clock.
  std::shared_ptr<const helpers::SleepClock> sleepClock;
  // The wall clock that expiry is judged by. Empty: the system clock.
  std::function<velmoria::base::Date()> now;
};

// Keeps the signed-in session fresh: the current session (refreshed first when it is about to expire),
// refreshes with at most one request in flight, and the periodic check. Each operation may be called
// from any thread; the blocking ones may throw.
//
// Every change of the stored session goes through here, one at a time: storing or removing a session and
// putting its events in line are one step that no other change comes between, so listeners hear the
// changes in the order they were stored. The events are delivered after the step, with no lock held
// (AuthStateChangeEventEmitter): a listener may block, use the client again (what it announces follows
// the event it is hearing) or wait for any other thread, and holds up no one's session meanwhile; what
// it finds stored may already be a later change, whose event is then on its way. Requests are sent
// outside the steps. A refresh, an update or a clean-up applies only to the session it started from.
struct SessionManager {
  std::function<Session()> session;
  // Refreshes with this token: joins the refresh in flight when it uses the same token, otherwise waits
  // for that one to end and then sends this token.
  std::function<Session(const std::string& refreshToken)> refreshSession;
  // Stores a session, or removes it, as a new signed-in state; nothing is announced.
  std::function<void(const Session&)> update;
  std::function<void()> remove;
  // Never block: the loop runs as a task of its own.
  std::function<void()> startAutoRefresh;
  std::function<void()> stopAutoRefresh;
  // Refreshes (or joins the refresh in flight) only while the stored session still carries this refresh
  // token; a token that was rotated or signed out meanwhile is never sent. Result and errors are dropped.
  std::function<void(const std::string& refreshToken)> refreshIfStored;
  // Refreshes the session stored now, whatever its expiry. Reading its token and starting the refresh are
  // one step, so a token another refresh has just used is never sent. Nothing stored: sessionMissing.
  std::function<Session()> refreshStored;
  // Stores `session` as the signed-in one and announces each of `events` with it, as one step.
  std::function<void(const Session&, const std::vector<AuthChangeEvent>& events)> storeAndAnnounce;
  // The same when the stored session is still `startedFrom` or a refresh of it (a sign-out or a new
  // sign-in since leaves nothing for this answer to change); `session` then counts as one of its
  // refreshes. Returns whether it was stored.
  std::function<bool(const Session& startedFrom, const Session& session, const std::vector<AuthChangeEvent>& events)>
      replaceAndAnnounce;
  // Gives the stored session `user` and announces "USER_UPDATED", as one step, when the stored session is
  // still `startedFrom` or a refresh of it. Returns the session stored then; nothing when it was not.
  std::function<std::optional<Session>(const Session& startedFrom, const User& user)> updateUser;
  // Removes the stored session and announces "SIGNED_OUT", as one step, when a session is stored and
  // `ends` accepts it. Returns the session removed; nothing when none was.
  std::function<std::optional<Session>(const std::function<bool(const Session&)>& ends)> endSession;

  static constexpr double autoRefreshTickDuration = 30;
  static constexpr std::int64_t autoRefreshTickThreshold = 3;

  // One manager for the client, over the registry entry of `clientID`.
  static SessionManager live(AuthClientID clientID, SessionManagerClocks clocks = {});
};

// Whole ticks of autoRefreshTickDuration in `secondsLeft`, toward zero. Beyond the 64-bit range the
// count saturates: +inf and huge values never refresh; -inf, huge negative values and NaN always do.
std::int64_t autoRefreshTicks(double secondsLeft);

}  // namespace zirudeze::auth
