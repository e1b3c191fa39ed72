#include "auth/SessionManager.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

#include "auth/AuthError.hpp"
#include "auth/Credentials.hpp"
#include "auth/Dependencies.hpp"
#include "base/ThreadSafety.hpp"
#include "base/UUID.hpp"
#include "base/coding/CodingErrors.hpp"
#include "concurrency/CancellationError.hpp"
#include "concurrency/LockIsolated.hpp"
#include "concurrency/Task.hpp"
#include "helpers/LogRedaction.hpp"
#include "helpers/URLError.hpp"

namespace zirudeze::auth {
namespace {

using concurrency::Task;
using helpers::JSONObject;
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

// A failure kept as a value that each waiter throws a copy of, so no two threads ever share one
// exception object. Called under a catch: the error being handled.
std::function<void()> caughtFailure() {
  try {
    throw;
  } catch (const AuthError& error) {
    return [error] { throw error; };
  } catch (const helpers::URLError& error) {
    return [error] { throw error; };
  } catch (const velmoria::base::DecodingError& error) {
    return [error] { throw error; };
  } catch (const velmoria::base::EncodingError& error) {
    return [error] { throw error; };
  } catch (...) {
    return [error = std::current_exception()] { std::rethrow_exception(error); };
  }
}

// What the refresh request brought back, before anything is stored: a session, the service's refusal,
// or a failure on the way.
struct Answer {
  std::optional<Session> session;
  std::optional<helpers::HTTPResponse> refusal;
  std::function<void()> rethrow;
};

// What a refresh came to once its answer was applied.
struct Outcome {
  enum class Kind { refreshed, failed, overtaken };
  Kind kind;
  std::optional<Session> session;
  std::function<void()> rethrow;
};

// One refresh request and what became of it.
struct Flight {
  Flight(std::string refreshToken, std::uint64_t startChanges, concurrency::Task<Answer> task)
      : refreshToken(std::move(refreshToken)), startChanges(startChanges), task(std::move(task)) {}

  const std::string refreshToken;
  // The manager's change count when it started.
  const std::uint64_t startChanges;
  const concurrency::Task<Answer> task;
  // Set once, under the manager's lock, by whichever waiter applies the answer first.
  std::optional<Outcome> outcome;
};

double secondsSince1970(velmoria::base::Date date) {
  return std::chrono::duration<double>(date.time_since_epoch()).count();
}

// One serial owner per client. Every decision on the stored session (is it fresh, which refresh to join
// or start) and every change to it, with its events put in line, happens under `mutex_`; requests,
// waiting for them and the delivery of the events happen outside it. The lock is recursive because a
// step may end the session inside another (an answer's clean-up code).
//
// A refresh's answer is applied by its waiters (the first one to get there), never by the request's own
// task, so no task ever waits for the lock while someone waits for the task. Until it is applied, the
// refresh stays the one in flight, so nobody reads the old token and sends it again.
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
      const auto ticket = acquire(Waiter::forStored, [&]() -> std::optional<std::string> {
        stored = dependencies->sessionStorage.get();
        if (stored && stored->isExpired(clocks_.now())) return stored->refreshToken;
        return std::nullopt;
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
    const auto ticket = acquire(Waiter::forToken, [&] { return std::optional<std::string>(refreshToken); });
    return awaitRefresh(*ticket, log);
  }

  Session refreshStored() {
    const auto dependencies = Dependencies::get(clientID_);
    const auto ticket = acquire(Waiter::forStored, [&]() -> std::optional<std::string> {
      const auto stored = dependencies->sessionStorage.get();
      if (!stored) return std::nullopt;
      return stored->refreshToken;
    });
    if (!ticket) throw AuthError::sessionMissing();
    return awaitRefresh(*ticket, Log(dependencies->logger));
  }

  void refreshIfStored(const std::string& refreshToken) {
    const auto dependencies = Dependencies::get(clientID_);
    const auto ticket = acquire(Waiter::forStored, [&]() -> std::optional<std::string> {
      const auto stored = dependencies->sessionStorage.get();
      if (stored && stored->refreshToken == refreshToken) return refreshToken;
      return std::nullopt;
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
    const Step step(*this);
    storeNew(*dependencies, session);
  }

  void remove() {
    const auto dependencies = Dependencies::get(clientID_);
    const Step step(*this);
    removeStored(*dependencies);
  }

  void storeAndAnnounce(const Session& session, const std::vector<AuthChangeEvent>& events) {
    const auto dependencies = Dependencies::get(clientID_);
    const Step step(*this);
    storeNew(*dependencies, session);
    for (const auto event : events) dependencies->eventEmitter->post(event, session);
  }

  bool replaceAndAnnounce(const Session& startedFrom, const Session& session,
                          const std::vector<AuthChangeEvent>& events) {
    const auto dependencies = Dependencies::get(clientID_);
    const Step step(*this);
    const auto stored = dependencies->sessionStorage.get();
    if (!stored || !descendsFrom(*stored, startedFrom)) return false;
    dependencies->sessionStorage.store(session);
    extendLineage(*stored, session);
    ++changes_;
    for (const auto event : events) dependencies->eventEmitter->post(event, session);
    return true;
  }

  std::optional<Session> updateUser(const Session& startedFrom, const User& user) {
    const auto dependencies = Dependencies::get(clientID_);
    const Step step(*this);
    auto stored = dependencies->sessionStorage.get();
    if (!stored || !descendsFrom(*stored, startedFrom)) return std::nullopt;
    stored->user = user;
    dependencies->sessionStorage.store(*stored);
    ++changes_;
    dependencies->eventEmitter->post(AuthChangeEvent::userUpdated, *stored);
    return stored;
  }

  std::optional<Session> endSession(const std::function<bool(const Session&)>& ends) {
    const auto dependencies = Dependencies::get(clientID_);
    const Step step(*this);
    const auto stored = dependencies->sessionStorage.get();
    if (!stored || !ends(*stored)) return std::nullopt;
    removeStored(*dependencies);
    dependencies->eventEmitter->post(AuthChangeEvent::signedOut, std::nullopt);
    return stored;
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
              } catch (const concurrency::CancellationError&) {
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
        const auto ticket = acquire(Waiter::forStored, [&]() -> std::optional<std::string> {
          const auto stored = dependencies->sessionStorage.get();
          ticks.reset();
          if (!stored) return std::nullopt;
          ticks = autoRefreshTicks(stored->expiresAt - now);
          if (*ticks <= SessionManager::autoRefreshTickThreshold) return stored->refreshToken;
          return std::nullopt;
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
  // Whom a refresh is for. A caller of the stored session takes whatever is stored when its refresh was
  // overtaken; a caller who named a token takes nothing but that token's own session.
  enum class Waiter { forStored, forToken };

  // One caller's share of a refresh: the flight, whether it was already running, and the caller's log
  // context ("refresh_id", and the refresh token masked: the whole token must never reach a log).
  struct Ticket {
    std::shared_ptr<Flight> flight;
    bool joined;
    Waiter waiter;
    JSONObject context;
  };

  // Under the lock, `refreshWith` says which token the caller needs a refresh with, if any, from what is
  // stored now. A refresh of that token in flight is joined; a refresh of another token is waited for
  // (and applied) first, and the caller decides again on what it left stored.
  std::optional<Ticket> acquire(Waiter waiter, const std::function<std::optional<std::string>()>& refreshWith) {
    for (;;) {
      std::shared_ptr<Flight> other;
      {
        const Step step(*this);
        const auto token = refreshWith();
        if (!token) return std::nullopt;
        JSONObject context{{"refresh_id", helpers::AnyJSON(velmoria::base::UUID::random().uuidString())},
                           {"refresh_token", helpers::AnyJSON(helpers::maskedSecret(*token))}};
        if (!inFlightRefreshTask_) return Ticket{start(*token, context), false, waiter, std::move(context)};
        if (inFlightRefreshTask_->refreshToken == *token)
          return Ticket{inFlightRefreshTask_, true, waiter, std::move(context)};
        other = inFlightRefreshTask_;
      }
      settle(*other);
    }
  }

  std::shared_ptr<Flight> start(const std::string& refreshToken, const JSONObject& context) VM_REQUIRES(mutex_) {
    // Started inside the context, so the request's own records (the HTTP layer's too) carry it.
    auto task = helpers::ZirudezeLoggerTaskLocal::withValue(context, [&] {
      return Task<Answer>([self = shared_from_this(), refreshToken] { return self->refreshRequest(refreshToken); });
    });
    inFlightRefreshTask_ = std::make_shared<Flight>(refreshToken, changes_, std::move(task));
    return inFlightRefreshTask_;
  }

  // Waits for the flight's answer and applies it, unless another waiter already has.
  Outcome settle(Flight& flight) {
    const Answer answer = flight.task.value();
    const auto dependencies = Dependencies::get(clientID_);
    const Step step(*this);
    if (!flight.outcome) flight.outcome = apply(*dependencies, flight, answer);
    return *flight.outcome;
  }

  Outcome apply(const Dependencies& dependencies, const Flight& flight, const Answer& answer) VM_REQUIRES(mutex_) {
    if (inFlightRefreshTask_.get() == &flight) inFlightRefreshTask_.reset();
    const auto stored = dependencies.sessionStorage.get();
    const bool carried = stored && stored->refreshToken == flight.refreshToken;
    const bool changedSince = changes_ != flight.startChanges;
    // A sign-out, a new sign-in or a clean-up came between: whoever made it decides what is current, and
    // this answer, whatever it says, is about a session that is no longer here.
    if (!carried && changedSince) return Outcome{Outcome::Kind::overtaken, std::nullopt, nullptr};
    if (answer.refusal) {
      // A clean-up code ends the stored session only while it still carries this refresh token.
      const AuthError error =
          dependencies.api.handleError(*answer.refusal, RequestSession{std::nullopt, flight.refreshToken});
      return Outcome{Outcome::Kind::failed, std::nullopt, [error] { throw error; }};
    }
    if (!answer.session) return Outcome{Outcome::Kind::failed, std::nullopt, answer.rethrow};

    Session refreshed = *answer.session;
    // Only the user can have changed meanwhile (an update); the tokens are this refresh's.
    if (carried && changedSince) refreshed.user = stored->user;
    dependencies.sessionStorage.store(refreshed);
    if (carried) {
      extendLineage(*stored, refreshed);
    } else {
      beginLineage(refreshed);
    }
    ++changes_;
    dependencies.eventEmitter->post(AuthChangeEvent::tokenRefreshed, refreshed);
    return Outcome{Outcome::Kind::refreshed, std::move(refreshed), nullptr};
  }

  Session awaitRefresh(const Ticket& ticket, const Log& log) {
    return helpers::ZirudezeLoggerTaskLocal::withValue(ticket.context, [&] {
      return helpers::trace(log.get(), Log::site("refreshSession(_:)", __LINE__), [&]() -> Session {
        if (ticket.joined) log("Refresh already in flight", "refreshSession(_:)", __LINE__);
        const Outcome outcome = settle(*ticket.flight);
        switch (outcome.kind) {
          case Outcome::Kind::refreshed:
            return *outcome.session;
          case Outcome::Kind::failed:
            outcome.rethrow();
            break;
          case Outcome::Kind::overtaken:
            if (ticket.waiter == Waiter::forStored) {
              auto current = Dependencies::get(clientID_)->sessionStorage.get();
              if (current) return std::move(*current);
            }
            break;
        }
        throw AuthError::sessionMissing();
      });
    });
  }

  // The request alone; nothing is stored here.
  Answer refreshRequest(const std::string& refreshToken) {
    const auto dependencies = Dependencies::get(clientID_);
    const Log log(dependencies->logger);
    log("Refresh task started", "refreshRequestTask(_:)", __LINE__);
    struct Ended {
      const Log& log;
      ~Ended() { log("Refresh task ended", "refreshRequestTask(_:)", __LINE__); }
    } ended{log};

    const auto& configuration = dependencies->configuration;
    try {
      helpers::HTTPRequest request(configuration.url.appendingPathComponent("token"), Method::post(),
                                   {velmoria::base::URLQueryItem{"grant_type", "refresh_token"}}, {},
                                   configuration.encoder.encode(UserCredentials{.refreshToken = refreshToken}));
      helpers::HTTPResponse response = dependencies->api.send(std::move(request));
      if (response.statusCode < 200 || response.statusCode > 299) return Answer{std::nullopt, std::move(response), {}};
      return Answer{response.decoded<Session>(configuration.decoder), std::nullopt, {}};
    } catch (...) {
      return Answer{std::nullopt, std::nullopt, caughtFailure()};
    }
  }

  void storeNew(const Dependencies& dependencies, const Session& session) VM_REQUIRES(mutex_) {
    dependencies.sessionStorage.store(session);
    beginLineage(session);
    ++changes_;
  }

  void removeStored(const Dependencies& dependencies) VM_REQUIRES(mutex_) {
    dependencies.sessionStorage.remove();
    lineage_.clear();
    ++changes_;
  }

  // The refresh tokens a stored session has had since its sign-in, newest last, so that an update that
  // started from an older one still finds its session. Valid only while its newest is the stored token.
  void beginLineage(const Session& session) VM_REQUIRES(mutex_) { lineage_ = {session.refreshToken}; }

  void extendLineage(const Session& previous, const Session& refreshed) VM_REQUIRES(mutex_) {
    if (lineage_.empty() || lineage_.back() != previous.refreshToken) lineage_ = {previous.refreshToken};
    lineage_.push_back(refreshed.refreshToken);
    constexpr std::size_t kKept = 16;
    if (lineage_.size() > kKept) lineage_.erase(lineage_.begin());
  }

  bool descendsFrom(const Session& stored, const Session& startedFrom) const VM_REQUIRES(mutex_) {
    if (stored.refreshToken == startedFrom.refreshToken) return true;
    return !lineage_.empty() && lineage_.back() == stored.refreshToken &&
           std::find(lineage_.begin(), lineage_.end(), startedFrom.refreshToken) != lineage_.end();
  }

  // Holds the lock for one step of this thread's. Events posted meanwhile are delivered once the thread
  // has let go of the lock entirely (steps nest: an answer's clean-up code ends the session inside the
  // step that applies it), so no listener ever runs under it.
  class VM_SCOPED_CAPABILITY Step {
   public:
    explicit Step(LiveSessionManager& manager) VM_ACQUIRE(manager.mutex_) : manager_(manager) {
      manager_.mutex_.lock();
      ++manager_.depth_;
    }
    ~Step() VM_RELEASE() {
      const bool outermost = --manager_.depth_ == 0;
      manager_.mutex_.unlock();
      if (outermost) Dependencies::get(manager_.clientID_)->eventEmitter->deliverPending();
    }
    Step(const Step&) = delete;
    Step& operator=(const Step&) = delete;

   private:
    LiveSessionManager& manager_;
  };

  const AuthClientID clientID_;
  SessionManagerClocks clocks_;
  velmoria::base::RecursiveMutex mutex_;
  // How many steps the thread holding the lock is inside.
  int depth_ VM_GUARDED_BY(mutex_) = 0;
  // The refresh in flight, until its answer is applied.
  std::shared_ptr<Flight> inFlightRefreshTask_ VM_GUARDED_BY(mutex_);
  // Counts every change of the stored session made here.
  std::uint64_t changes_ VM_GUARDED_BY(mutex_) = 0;
  std::vector<std::string> lineage_ VM_GUARDED_BY(mutex_);
  // The running loop; null while switched off.
  concurrency::LockIsolated<std::shared_ptr<const Task<void>>> autoRefresh_{std::shared_ptr<const Task<void>>{}};
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
      .refreshStored = [manager] { return manager->refreshStored(); },
      .storeAndAnnounce =
          [manager](const Session& session, const std::vector<AuthChangeEvent>& events) {
            manager->storeAndAnnounce(session, events);
          },
      .replaceAndAnnounce =
          [manager](const Session& startedFrom, const Session& session, const std::vector<AuthChangeEvent>& events) {
            return manager->replaceAndAnnounce(startedFrom, session, events);
          },
      .updateUser = [manager](const Session& startedFrom,
                              const User& user) { return manager->updateUser(startedFrom, user); },
      .endSession = [manager](const std::function<bool(const Session&)>& ends) { return manager->endSession(ends); },
  };
}

}  // namespace zirudeze::auth
