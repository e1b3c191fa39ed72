#include "localbackend/LocalBackend.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <stdexcept>
#include <variant>
#include <vector>

#include <boost/system/system_error.hpp>

#include "base/ThreadSafety.hpp"
#include "localbackend/Command.hpp"
#include "localbackend/Modes.hpp"
#include "testsupport/FakeAuth.hpp"
#include "testsupport/FakeBackend.hpp"
#include "testsupport/FakeDatabase.hpp"
#include "testsupport/FakeFunctions.hpp"

namespace velmoria::localbackend {
namespace {

using Clock = std::chrono::system_clock;
using testsupport::ColumnType;
using testsupport::RecordedRequest;
using testsupport::ScriptedResponse;

std::string isoTimestamp(Clock::time_point time) {
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(time.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(micros / 1'000'000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06d+00:00", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(micros % 1'000'000));
  return text;
}

// The calendar day the phone would write: the user's own, not UTC's.
std::string localDate(Clock::time_point time) {
  const std::time_t seconds = Clock::to_time_t(time);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  return text;
}

std::string modeNameOf(const Json& row) {
  const Json& id = row["mode_id"];
  if (!id.is_string()) return "mode-less";
  const Mode* mode = findMode(id.get<std::string>());
  return mode ? "\"" + mode->name + "\"" : "unknown-mode";
}

SessionChange refusal(SessionChange::Outcome outcome, std::string message) {
  return SessionChange{outcome, std::move(message), nullptr};
}

ScriptedResponse controlAnswer(const SessionChange& change, unsigned successStatus) {
  using Outcome = SessionChange::Outcome;
  Json body{{"message", change.message}};
  unsigned status = successStatus;
  switch (change.outcome) {
    case Outcome::done:
      body["session"] = change.row;
      break;
    case Outcome::unknownMode:
      status = 404;
      break;
    case Outcome::nobodySignedIn:
    case Outcome::alreadyRunning:
    case Outcome::noneRunning:
      status = 409;
      break;
  }
  return ScriptedResponse::json(status, body.dump());
}

}  // namespace

struct LocalBackend::State {
  base::Mutex printMutex;
  Printer print VM_GUARDED_BY(printMutex);

  // Serialises start and stop, so two of them never see the same open row.
  base::Mutex changeMutex;

  mutable base::Mutex mutex;
  std::vector<std::string> emails VM_GUARDED_BY(mutex);  // asked for a code, the latest last
  std::map<std::string, Clock::time_point> startTimes VM_GUARDED_BY(mutex);

  // The server goes first on the way out: its connection threads call into the rest.
  std::unique_ptr<testsupport::FakeBackend> server;
  std::unique_ptr<testsupport::FakeAuth> auth;
  std::unique_ptr<testsupport::FakeDatabase> database;
  std::unique_ptr<testsupport::FakeFunctions> functions;

  void say(const std::string& line) {
    const base::MutexLock lock(printMutex);
    if (print) print(line);
  }

  void codeSent(const std::string& email, const std::string& code) {
    {
      const base::MutexLock lock(mutex);
      std::erase(emails, email);
      emails.push_back(email);
    }
    say("code for " + printable(email, 120) + ": " + code);
  }

  std::optional<SignedInUser> signedInUser() const {
    std::vector<std::string> candidates;
    {
      const base::MutexLock lock(mutex);
      candidates.assign(emails.rbegin(), emails.rend());
    }
    for (const auto& email : candidates) {
      if (auth->sessionCount(email) == 0) continue;
      const Json user = auth->user(email);
      if (user.contains("id") && user["id"].is_string()) return SignedInUser{email, user["id"].get<std::string>()};
    }
    return std::nullopt;
  }

  std::vector<Json> openSessions() const {
    std::vector<Json> open;
    for (const auto& row : database->rows("sessions")) {
      if (row["ended_at"].is_null()) open.push_back(row);
    }
    return open;
  }

  SessionChange start(const std::optional<std::string>& modeText) {
    const base::MutexLock serial(changeMutex);
    const auto user = signedInUser();
    if (!user) {
      return refusal(SessionChange::Outcome::nobodySignedIn,
                     "nobody is signed in: sign in to velmoria with the printed code first");
    }
    const Mode* mode = modeText ? findMode(*modeText) : &defaultMode();
    if (!mode) {
      return refusal(SessionChange::Outcome::unknownMode,
                     "no mode \"" + printable(*modeText) + "\"; the modes are " + describeModes());
    }
    if (const auto open = openSessions(); !open.empty()) {
      return refusal(SessionChange::Outcome::alreadyRunning,
                     "a " + modeNameOf(open.front()) + " session is running already; type stop first");
    }
    const auto now = Clock::now();
    const Json stored = database->insert("sessions", Json{{"user_id", user->id},
                                                          {"date", localDate(now)},
                                                          {"started_at", isoTimestamp(now)},
                                                          {"ended_at", nullptr},
                                                          {"duration_seconds", 0},
                                                          {"source", "local"},
                                                          {"mode_id", mode->id}});
    const Json row = stored.at(0);
    {
      const base::MutexLock lock(mutex);
      startTimes[row["id"].get<std::string>()] = now;
    }
    return SessionChange{SessionChange::Outcome::done,
                         "started a \"" + mode->name + "\" session for " + printable(user->email, 120) + ": it " +
                             (mode->blockOnMac ? "blocks" : "does not block") +
                             " the desktop; velmoria follows within 15 s",
                         row};
  }

  SessionChange stop() {
    const base::MutexLock serial(changeMutex);
    const auto open = openSessions();
    if (open.empty()) return refusal(SessionChange::Outcome::noneRunning, "no session is running");
    const auto now = Clock::now();
    Json ended;
    std::string message;
    for (const auto& row : open) {
      const std::string id = row["id"].get<std::string>();
      std::int64_t seconds = 0;
      {
        const base::MutexLock lock(mutex);
        if (const auto found = startTimes.find(id); found != startTimes.end()) {
          seconds =
              std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::seconds>(now - found->second).count());
          startTimes.erase(found);
        }
      }
      const Json changed = database->update(
          "sessions", [&](const Json& stored) { return stored["id"] == row["id"]; },
          Json{{"ended_at", isoTimestamp(now)}, {"duration_seconds", seconds}});
      if (changed.empty()) continue;
      ended = changed.at(0);
      message = "ended the " + modeNameOf(ended) + " session after " + std::to_string(seconds) + " s";
    }
    return SessionChange{SessionChange::Outcome::done, message, ended};
  }

  void seed() {
    database->createTable({.name = "modes",
                           .columns = {{.name = "id", .type = ColumnType::uuid, .nullable = false},
                                       {.name = "name", .type = ColumnType::text, .nullable = false},
                                       {.name = "block_on_mac", .type = ColumnType::boolean}},
                           .primaryKey = {"id"}});
    for (const auto& mode : seededModes()) {
      database->insert("modes", Json{{"id", mode.id}, {"name", mode.name}, {"block_on_mac", mode.blockOnMac}});
    }
    database->createTable(
        {.name = "sessions",
         .columns = {{.name = "id", .type = ColumnType::uuid, .defaultValue = testsupport::FakeDatabase::randomUUID},
                     {.name = "user_id", .type = ColumnType::uuid, .nullable = false},
                     {.name = "date", .type = ColumnType::text, .nullable = false},
                     {.name = "started_at", .type = ColumnType::timestamp, .nullable = false},
                     {.name = "ended_at", .type = ColumnType::timestamp},
                     {.name = "duration_seconds", .type = ColumnType::integer, .nullable = false},
                     {.name = "source", .type = ColumnType::text},
                     {.name = "mode_id", .type = ColumnType::uuid}},
         .primaryKey = {"id"}});
  }

  // The mode of a start request: from {"mode": ...}, none for an empty body; a text for a bad body.
  static std::variant<std::optional<std::string>, std::string> requestedMode(const RecordedRequest& request) {
    if (request.body.find_first_not_of(" \t\r\n") == std::string::npos) return std::optional<std::string>{};
    const Json body = Json::parse(request.body, nullptr, false);
    if (!body.is_object()) return std::string("the body is not a JSON object such as {\"mode\": \"Reading\"}");
    if (!body.contains("mode") || body["mode"].is_null()) return std::optional<std::string>{};
    if (!body["mode"].is_string()) return std::string("\"mode\" is not a text");
    return std::optional<std::string>{body["mode"].get<std::string>()};
  }

  void installControlRoutes() {
    server->route("POST", "/local/v1/start", [this](const RecordedRequest& request) {
      const auto mode = requestedMode(request);
      if (const auto* problem = std::get_if<std::string>(&mode)) {
        return ScriptedResponse::json(400, Json{{"message", *problem}}.dump());
      }
      const auto change = start(std::get<std::optional<std::string>>(mode));
      say(change.message);
      return controlAnswer(change, 201);
    });
    server->route("GET", "/local/v1/status", [this](const RecordedRequest&) {
      const auto user = signedInUser();
      const auto open = openSessions();
      const Json body{{"signed_in", user ? Json(user->email) : Json(nullptr)},
                      {"session", open.empty() ? Json(nullptr) : open.front()}};
      return ScriptedResponse::json(200, body.dump());
    });
    server->route("POST", "/local/v1/stop", [this](const RecordedRequest&) {
      const auto change = stop();
      say(change.message);
      return controlAnswer(change, 200);
    });
  }
};

LocalBackend::LocalBackend(std::uint16_t port, Printer print) : state_(std::make_unique<State>()) {
  {
    const base::MutexLock lock(state_->printMutex);
    state_->print = std::move(print);
  }
  try {
    state_->server = std::make_unique<testsupport::FakeBackend>(port);
  } catch (const boost::system::system_error& error) {
    throw std::runtime_error(error.code().message());
  }
  state_->auth = std::make_unique<testsupport::FakeAuth>(*state_->server);
  state_->database = std::make_unique<testsupport::FakeDatabase>(*state_->server);
  state_->functions = std::make_unique<testsupport::FakeFunctions>(*state_->server);
  state_->seed();
  state_->auth->onCodeSent(
      [state = state_.get()](const std::string& email, const std::string& code) { state->codeSent(email, code); });
  state_->installControlRoutes();
}

LocalBackend::~LocalBackend() { state_->server.reset(); }

std::string LocalBackend::url() const { return state_->server->baseURL(); }

std::uint16_t LocalBackend::port() const { return state_->server->port(); }

std::optional<SignedInUser> LocalBackend::signedInUser() const { return state_->signedInUser(); }

SessionChange LocalBackend::start(const std::optional<std::string>& mode) { return state_->start(mode); }

SessionChange LocalBackend::stop() { return state_->stop(); }

Json LocalBackend::rows(const std::string& table) const { return state_->database->rows(table); }

void LocalBackend::forgetRecordedRequests() { state_->server->clearRequests(); }

}  // namespace velmoria::localbackend
