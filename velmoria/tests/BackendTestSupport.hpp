#pragma once

#include <QCoreApplication>
#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BlockingTestSupport.hpp"
#include "EventLoopSupport.hpp"
#include "auth/Keychain.hpp"
#include "platform/InMemoryKeychainStore.hpp"
#include "testsupport/FakeAuth.hpp"
#include "testsupport/FakeBackend.hpp"
#include "testsupport/FakeDatabase.hpp"
#include "velmoria/BackendClient.hpp"

namespace velmoria::testing {

// The text the database service writes for an instant: UTC with microseconds and an offset.
inline std::string timestampText(std::chrono::system_clock::time_point instant) {
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(instant.time_since_epoch()).count();
  std::time_t seconds = static_cast<std::time_t>(micros / 1'000'000);
  long long fraction = micros % 1'000'000;
  if (fraction < 0) {
    fraction += 1'000'000;
    --seconds;
  }
  std::tm utc{};
  ::gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06lld+00:00", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, fraction);
  return text;
}

// The app's tables on the fake backend, and backend clients made as the app makes its own, with the
// session kept in memory.
class BackendFixture {
 public:
  static constexpr const char* kEmail = "ada@example.com";

  BackendFixture() {
    app();
    using testsupport::ColumnType;
    database.createTable({.name = "sessions",
                          .columns = {{.name = "id", .type = ColumnType::text, .nullable = false},
                                      {.name = "user_id", .type = ColumnType::uuid, .nullable = false},
                                      {.name = "date", .type = ColumnType::text},
                                      {.name = "started_at", .type = ColumnType::timestamp},
                                      {.name = "ended_at", .type = ColumnType::timestamp},
                                      {.name = "duration_seconds", .type = ColumnType::integer},
                                      {.name = "source", .type = ColumnType::text},
                                      {.name = "mode_id", .type = ColumnType::text}},
                          .primaryKey = {"id"}});
    database.createTable({.name = "modes",
                          .columns = {{.name = "id", .type = ColumnType::text, .nullable = false},
                                      {.name = "name", .type = ColumnType::text},
                                      {.name = "block_on_mac", .type = ColumnType::boolean}},
                          .primaryKey = {"id"}});
  }

  // A client of this backend sharing the fixture's keychain (so a session stored by one is the other's).
  std::shared_ptr<zirudeze::ZirudezeClient> makeClient(const std::string& url) const {
    auto options = backendClientOptions();
    options.auth.storage = storage;
    return makeBackendClient({*base::URL::parse(url), "project-key"}, std::move(options));
  }
  std::shared_ptr<zirudeze::ZirudezeClient> makeClient() const { return makeClient(backend.baseURL()); }

  // Signs the address in through `client`, as the sign-in screen would.
  void signIn(const zirudeze::ZirudezeClient& client, const std::string& email = kEmail) const {
    const auto auth = client.auth();
    auth->signInWithOTP(zirudeze::auth::Email{email});
    auth->verifyOTP(zirudeze::auth::Email{email}, *service.lastCode(email), zirudeze::auth::EmailOTPType::email);
  }

  std::string userID(const std::string& email = kEmail) const {
    return service.user(email).at("id").get<std::string>();
  }

  void addMode(const std::string& id, std::optional<bool> blockOnMac) {
    testsupport::Json row{{"id", id}, {"name", "Mode " + id}};
    row["block_on_mac"] = blockOnMac ? testsupport::Json(*blockOnMac) : testsupport::Json(nullptr);
    database.insert("modes", row);
  }

  // An open session of the signed-in user; answers its id.
  std::string openSession(std::chrono::system_clock::time_point startedAt, std::optional<std::string> modeID,
                          std::optional<std::int64_t> durationSeconds = 1500, const std::string& email = kEmail) {
    const std::string id = "s" + std::to_string(++sessionCount_);
    testsupport::Json row{{"id", id},
                          {"user_id", userID(email)},
                          {"date", "2024-03-05"},
                          {"started_at", timestampText(startedAt)},
                          {"source", "phone"}};
    row["duration_seconds"] = durationSeconds ? testsupport::Json(*durationSeconds) : testsupport::Json(nullptr);
    row["mode_id"] = modeID ? testsupport::Json(*modeID) : testsupport::Json(nullptr);
    database.insert("sessions", row);
    return id;
  }

  void endSession(const std::string& id, std::chrono::system_clock::time_point endedAt) {
    auto rows = database.rows("sessions");
    database.removeAllRows("sessions");
    for (auto& row : rows) {
      if (row["id"] == id) row["ended_at"] = timestampText(endedAt);
      database.insert("sessions", row);
    }
  }

  std::vector<testsupport::RecordedRequest> requestsTo(const std::string& path) const {
    std::vector<testsupport::RecordedRequest> found;
    for (auto& request : backend.requests()) {
      if (request.path == path) found.push_back(std::move(request));
    }
    return found;
  }
  std::size_t sessionQueries() const { return requestsTo("/rest/v1/sessions").size(); }
  std::size_t modeQueries() const { return requestsTo("/rest/v1/modes").size(); }

  testsupport::FakeBackend backend;
  testsupport::FakeAuth service{backend};
  testsupport::FakeDatabase database{backend};
  std::shared_ptr<platform::InMemoryKeychainStore> keychain = std::make_shared<platform::InMemoryKeychainStore>();
  std::shared_ptr<zirudeze::auth::KeychainLocalStorage> storage =
      std::make_shared<zirudeze::auth::KeychainLocalStorage>(
          zirudeze::auth::Keychain("zirudeze.auth", std::nullopt, keychain));

 private:
  int sessionCount_ = 0;
};

}  // namespace velmoria::testing
