#include "auth/SessionManager.hpp"

#include <chrono>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

#include "auth/AuthError.hpp"
#include "auth/Credentials.hpp"
#include "auth/Dependencies.hpp"
#include "base/UUID.hpp"
#include "base/coding/CodingErrors.hpp"
#include "concurrency/CancellationError.hpp"
#include "concurrency/LockIsolated.hpp"
#include "concurrency/Task.hpp"
#include "helpers/LogRedaction.hpp"
#include "helpers/URLError.hpp"

namespace zirudeze::auth {
namespace {

using helpers::JSONObject;
using helpers::Task;
using helpers::ZirudezeLogger;
using Method = helpers::HTTPRequest::Method;

class Log {
 public:
  explicit Log(std::shared_ptr<const ZirudezeLogger> logger) : logger_(std::move(logger)) {}

  const ZirudezeLogger* get() const { return logger_.get(); }
  void operator()(std::string message, std::string_view function, std::uint64_t line) const {
    if (logger_) logger_->emit(helpers::ZirudezeLogLevel::debug, std::move(message), site(function, line));
  }
  static helpers::LogSite site(std::string_view function, std::uint64_t line) {
    return helpers::LogSite{"Auth/SessionManager.cpp", std::string(function), line};
  }

 private:
  std::shared_ptr<const ZirudezeLogger> logger_;
};

// What a refresh hands its waiters. A failure is kept as a value that each waiter throws a copy of, so no
// two threads ever share one exception object.
struct RefreshOutcome {
  std::optional<Session> session;
  std::function<void()> rethrow;

  Session get() const {
    if (!session) rethrow();
    return *session;
  }

  // Under a catch: the error being handled.
  static RefreshOutcome failure() {
    try {
      throw;
    } catch (const AuthError& error) {
      return {std::nullopt, [error] { throw error; }};
    } catch (const helpers::URLError& error) {
      return {std::nullopt, [error] { throw error; }};
    } catch (const base::DecodingError& error) {
      return {std::nullopt, [error] { throw error; }};
    } catch (const base::EncodingError& error) {
      return {std::nullopt, [error] { throw error; }};
    } catch (...) {
      return {std::nullopt, [error = std::current_exception()] { std::rethrow_exception(error); }};
    }
  }
};

double secondsSince1970(base::Date date) { return std::chrono::duration<double>(date.time_since_epoch()).count(); }

// One serial owner per client. Every decision on the stored session (is it fresh, which refresh to join
// or start) and every change to it (a refresh's store, update, remove) happens under `refresh_`, so no
// caller ever starts a refresh with a token that an earlier refresh has already used. Requests and
// waiting happen outside it.
class LiveSessionManager final : public std::enable_shared_from_this<LiveSessionManager> {
 public:
  LiveSessionManager(AuthClientID clientID, SessionManagerClocks clocks)
      : clientID_(clientID), clocks_(std::move(clocks)) {
    if (!clocks_.sleepClock) clocks_.sleepClock = helpers::currentSleepClock();
    if (!clocks_.now) clocks_.now = [] { return std::chrono::system_clock::now(); };
  }

  Session session() {
    const auto dependencies = Dependencies::get(clientID_);
    const Log log(dependencies->logger);
    return helpers::trace(log.get(), Log::site("session()", __LINE__), [&]() -> Session {
      std::optional<Session> stored;
      std::optional<Ticket> ticket;
      refresh_.withValue([&](Refresh& state) {
        stored = dependencies->sessionStorage.get();
        if (stored && stored->isExpired(clocks_.now())) ticket = joinOrStart(state, stored->refreshToken);
      });
      if (!stored) {
        log("session missing", "session()", __LINE__);
        throw AuthError::sessionMissing();
      }
      if (!ticket) return std::move(*stored);
      log("session expired", "session()", __LINE__);
      return awaitRefresh(*ticket, log);
    });
  }

  Session refreshSession(const std::string& refreshToken) {
    const Log log(Dependencies::get(clientID_)->logger);
    const Ticket ticket = refresh_.withValue([&](Refresh& state) { return joinOrStart(state, refreshToken); });
    return awaitRefresh(ticket, log);
  }

  void refreshIfStored(const std::string& refreshToken) {
    const auto dependencies = Dependencies::get(clientID_);
    std::optional<Ticket> ticket;
    refresh_.withValue([&](Refresh& state) {
      const auto stored = dependencies->sessionStorage.get();
      if (stored && stored->refreshToken == refreshToken) ticket = joinOrStart(state, refreshToken);
    });
    if (!ticket) return;
    try {
      awaitRefresh(*ticket, Log(dependencies->logger));
    } catch (...) {
      // The caller asked for a refresh in the background; it has no use for the outcome.
    }
  }

  void update(const Session& session) {
    const auto dependencies = Dependencies::get(clientID_);
    refresh_.withValue([&](Refresh& state) {
      ++state.generation;
      dependencies->sessionStorage.store(session);
    });
  }

  void remove() {
    const auto dependencies = Dependencies::get(clientID_);
    refresh_.withValue([&](Refresh& state) {
      ++state.generation;
      dependencies->sessionStorage.remove();
    });
  }

  void startAutoRefreshToken() {
    Log(Dependencies::get(clientID_)->logger)("start auto refresh token", "startAutoRefreshToken()", __LINE__);
    autoRefresh_.withValue([&](std::shared_ptr<const Task<void>>& loop) {
      if (loop) loop->cancel();
      loop = std::make_shared<const Task<void>>(
          [manager = weak_from_this(), sleepClock = clocks_.sleepClock](std::stop_token stop) {
            while (!stop.stop_requested()) {
              {
                const auto self = manager.lock();
                if (!self) return;
                self->autoRefreshTokenTick();
              }
              try {
                sleepClock->sleep(SessionManager::autoRefreshTickDuration, stop);
              } catch (const helpers::CancellationError&) {
                // A stopped loop ends at its next check.
              }
            }
          });
    });
  }

  void stopAutoRefreshToken() {
    Log(Dependencies::get(clientID_)->logger)("stop auto refresh token", "stopAutoRefreshToken()", __LINE__);
    autoRefresh_.withValue([](std::shared_ptr<const Task<void>>& loop) {
      if (loop) loop->cancel();
      loop.reset();
    });
  }

  void autoRefreshTokenTick() {
    const auto dependencies = Dependencies::get(clientID_);
    const Log log(dependencies->logger);
    try {
      helpers::trace(log.get(), Log::site("autoRefreshTokenTick()", __LINE__), [&] {
        const double now = secondsSince1970(clocks_.now());
        std::optional<std::int64_t> ticks;
        std::optional<Ticket> ticket;
        refresh_.withValue([&](Refresh& state) {
          const auto stored = dependencies->sessionStorage.get();
          if (!stored) return;
          ticks = autoRefreshTicks(stored->expiresAt - now);
          if (*ticks <= SessionManager::autoRefreshTickThreshold) ticket = joinOrStart(state, stored->refreshToken);
        });
        if (!ticks) return;
        log("access token expires in " + std::to_string(*ticks) + " ticks, a tick lasts 30.0s, refresh threshold is " +
                std::to_string(SessionManager::autoRefreshTickThreshold) + " ticks",
            "autoRefreshTokenTick()", __LINE__);
        if (ticket) awaitRefresh(*ticket, log);
      });
    } catch (...) {
      // A failed check waits for the next one.
    }
  }

 private:
  struct Refresh {
    std::optional<Task<RefreshOutcome>> inFlight;
    // Counts stores and removals made outside a refresh. A refresh that finds another count at its end
    // was overtaken (signed out, signed in anew, cleaned up) and stores and announces nothing.
    std::uint64_t generation = 0;
  };

  // One caller's share of a refresh: the task, whether it was already running, and the caller's log
  // context ("refresh_id", and the refresh token masked: the whole token must never reach a log).
  struct Ticket {
    Task<RefreshOutcome> task;
    bool joined;
    JSONObject context;
  };

  // Under refresh_.
  Ticket joinOrStart(Refresh& state, const std::string& refreshToken) {
    JSONObject context{{"refresh_id", helpers::AnyJSON(base::UUID::random().uuidString())},
                       {"refresh_token", helpers::AnyJSON(helpers::maskedSecret(refreshToken))}};
    if (state.inFlight) return Ticket{*state.inFlight, true, std::move(context)};
    // Started inside the context, so the request's own records (the HTTP layer's too) carry it.
    Task<RefreshOutcome> task = helpers::ZirudezeLoggerTaskLocal::withValue(context, [&] {
      return Task<RefreshOutcome>([self = shared_from_this(), refreshToken, generation = state.generation] {
        try {
          return RefreshOutcome{self->refreshRequestTask(refreshToken, generation), nullptr};
        } catch (...) {
          return RefreshOutcome::failure();
        }
      });
    });
    state.inFlight = task;
    return Ticket{std::move(task), false, std::move(context)};
  }

  Session awaitRefresh(const Ticket& ticket, const Log& log) {
    return helpers::ZirudezeLoggerTaskLocal::withValue(ticket.context, [&] {
      return helpers::trace(log.get(), Log::site("refreshSession(_:)", __LINE__), [&] {
        if (ticket.joined) log("Refresh already in flight", "refreshSession(_:)", __LINE__);
        return ticket.task.value().get();
      });
    });
  }

  Session refreshRequestTask(const std::string& refreshToken, std::uint64_t generation) {
    const auto dependencies = Dependencies::get(clientID_);
    const Log log(dependencies->logger);
    log("Refresh task started", "refreshRequestTask(_:)", __LINE__);
    struct Ended {
      const Log& log;
      ~Ended() { log("Refresh task ended", "refreshRequestTask(_:)", __LINE__); }
    } ended{log};

    const auto& configuration = dependencies->configuration;
    Session refreshed;
    try {
      helpers::HTTPRequest request(configuration.url.appendingPathComponent("token"), Method::post(),
                                   {base::URLQueryItem{"grant_type", "refresh_token"}}, {},
                                   configuration.encoder.encode(UserCredentials{.refreshToken = refreshToken}));
      refreshed = dependencies->api.execute(std::move(request)).decoded<Session>(configuration.decoder);
    } catch (...) {
      refresh_.withValue([](Refresh& state) { state.inFlight.reset(); });
      throw;
    }

    std::optional<Session> overtakenBy;
    const bool stored = refresh_.withValue([&](Refresh& state) {
      state.inFlight.reset();
      if (state.generation != generation) {
        overtakenBy = dependencies->sessionStorage.get();
        return false;
      }
      dependencies->sessionStorage.store(refreshed);
      return true;
    });
    if (!stored) {
      // Whoever changed the session meanwhile decides what is current now.
      if (!overtakenBy) throw AuthError::sessionMissing();
      return std::move(*overtakenBy);
    }
    dependencies->eventEmitter->emit(AuthChangeEvent::tokenRefreshed, refreshed);
    return refreshed;
  }

  const AuthClientID clientID_;
  SessionManagerClocks clocks_;
  helpers::LockIsolated<Refresh> refresh_{Refresh{}};
  // The running loop; null while switched off.
  helpers::LockIsolated<std::shared_ptr<const Task<void>>> autoRefresh_{std::shared_ptr<const Task<void>>{}};
};

}  // namespace

std::int64_t autoRefreshTicks(double secondsLeft) {
  constexpr double limit = 9223372036854775808.0;  // 2^63
  const double ticks = secondsLeft / SessionManager::autoRefreshTickDuration;
  if (std::isnan(ticks) || ticks <= -limit) return std::numeric_limits<std::int64_t>::min();
  if (ticks >= limit) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(ticks);
}

SessionManager SessionManager::live(AuthClientID clientID, SessionManagerClocks clocks) {
  const auto manager = std::make_shared<LiveSessionManager>(clientID, std::move(clocks));
  return SessionManager{
      .session = [manager] { return manager->session(); },
      .refreshSession = [manager](const std::string& refreshToken) { return manager->refreshSession(refreshToken); },
      .update = [manager](const Session& session) { manager->update(session); },
      .remove = [manager] { manager->remove(); },
      .startAutoRefresh = [manager] { manager->startAutoRefreshToken(); },
      .stopAutoRefresh = [manager] { manager->stopAutoRefreshToken(); },
      .refreshIfStored = [manager](const std::string& refreshToken) { manager->refreshIfStored(refreshToken); },
  };
}

}  // namespace zirudeze::auth
