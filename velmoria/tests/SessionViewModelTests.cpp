// Session following through the real backend client against the fake backend.
#include <QDateTime>
#include <QLocale>

#include <gtest/gtest.h>

#include "BackendTestSupport.hpp"
#include "helpers/ErrorDescription.hpp"
#include "rest/RestDefaults.hpp"
#include "velmoria/SessionViewModel.hpp"

using namespace std::chrono_literals;
using velmoria::SessionModel;
using velmoria::SessionViewModel;
using velmoria::testing::processUntil;
using velmoria::testsupport::ScriptedResponse;

namespace {

using Clock = std::chrono::system_clock;
using QueryItems = std::vector<std::pair<std::string, std::optional<std::string>>>;

class SessionFollowingTest : public ::testing::Test, protected velmoria::testing::BackendFixture {
 protected:
  SessionFollowingTest() : client(makeClient()), model(client) {}

  void signIn() { BackendFixture::signIn(*client); }

  // One refresh to its end.
  void refresh() {
    bool done = false;
    model.refresh([&] { done = true; });
    ASSERT_TRUE(processUntil([&] { return done; }));
  }

  std::shared_ptr<zirudeze::ZirudezeClient> client;
  SessionViewModel model;
  const Clock::time_point now = Clock::now();
};

TEST_F(SessionFollowingTest, FollowsTheNewestOpenSessionWithBothQueriesExactlyOnTheWire) {
  signIn();
  addMode("focus", false);
  openSession(now - 2h, "focus");
  const auto newest = openSession(now - 30min, "focus");
  const auto ended = openSession(now - 5min, "focus");
  endSession(ended, now - 1min);
  EXPECT_EQ(model.status(), QStringLiteral("\u2014"));
  EXPECT_TRUE(model.blockOnMac());

  refresh();
  ASSERT_TRUE(model.activeSession());
  EXPECT_EQ(model.activeSession()->id, newest);
  EXPECT_EQ(model.activeSession()->userID, userID());
  EXPECT_EQ(model.activeSession()->date, "2024-03-05");
  EXPECT_EQ(model.activeSession()->modeID, "focus");
  EXPECT_EQ(model.activeSession()->durationSeconds, 1500);
  EXPECT_FALSE(model.activeSession()->endedAt);
  EXPECT_LT(std::chrono::abs(model.activeSession()->startedAt - (now - 30min)), 1ms);
  EXPECT_FALSE(model.blockOnMac());
  EXPECT_TRUE(model.status().startsWith("Aktive Session seit "));

  const auto sessions = requestsTo("/rest/v1/sessions");
  ASSERT_EQ(sessions.size(), 1u);
  std::string upper = userID();
  std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
  EXPECT_EQ(sessions[0].method, "GET");
  EXPECT_EQ(sessions[0].query, (QueryItems{{"select", "*"},
                                           {"user_id", "eq." + upper},
                                           {"ended_at", "is.NULL"},
                                           {"order", "started_at.desc.nullslast"},
                                           {"limit", "1"}}));
  const auto modes = requestsTo("/rest/v1/modes");
  ASSERT_EQ(modes.size(), 1u);
  EXPECT_EQ(modes[0].query, (QueryItems{{"select", "block_on_mac"}, {"id", "eq.focus"}, {"limit", "1"}}));
  // The user's own token, not the project key.
  EXPECT_NE(sessions[0].header("Authorization"), "Bearer project-key");
  EXPECT_EQ(modes[0].header("Apikey"), "project-key");
}

// The locale the user's environment names (LC_ALL=C, LC_ALL=de_DE.UTF-8, ...) is what the app's default
// locale starts as; it is set through Qt here, so the test needs no generated system locales.
class DefaultLocale {
 public:
  explicit DefaultLocale(const QLocale& locale) { QLocale::setDefault(locale); }
  ~DefaultLocale() { QLocale::setDefault(QLocale::system()); }
};

TEST_F(SessionFollowingTest, TheStatusGivesTheStartInHoursAndMinutesInEveryLocale) {
  signIn();
  const QDateTime started(QDate::currentDate().addDays(-1), QTime(14, 15, 9));
  openSession(Clock::time_point(std::chrono::milliseconds(started.toMSecsSinceEpoch())), std::nullopt);
  {
    DefaultLocale c(QLocale::c());
    refresh();
    EXPECT_EQ(model.status().toStdString(), "Aktive Session seit 14:15");
  }
  {
    DefaultLocale german(QLocale(QLocale::German, QLocale::Germany));
    refresh();
    EXPECT_EQ(model.status().toStdString(), "Aktive Session seit 14:15");
  }
  {
    DefaultLocale american(QLocale(QLocale::English, QLocale::UnitedStates));
    refresh();
    EXPECT_TRUE(model.status().startsWith(QStringLiteral("Aktive Session seit 2:15"))) << model.status().toStdString();
    EXPECT_TRUE(model.status().endsWith(QStringLiteral("PM"))) << model.status().toStdString();
  }
}

TEST_F(SessionFollowingTest, AModeThatCannotBeReadBlocks) {
  signIn();
  addMode("blank", std::nullopt);
  addMode("free", false);

  // No mode: blocking, and nobody asks.
  const auto first = openSession(now - 1h, std::nullopt);
  refresh();
  ASSERT_TRUE(model.activeSession());
  EXPECT_TRUE(model.blockOnMac());
  EXPECT_EQ(modeQueries(), 0u);
  endSession(first, now);

  const auto blank = openSession(now - 50min, "blank");
  refresh();
  EXPECT_TRUE(model.blockOnMac()) << "a null flag";
  endSession(blank, now);

  const auto free = openSession(now - 40min, "free");
  refresh();
  EXPECT_FALSE(model.blockOnMac());
  database.failNext("modes", ScriptedResponse::json(200, R"([{"name":"no flag"}])"));
  refresh();
  EXPECT_TRUE(model.blockOnMac()) << "a missing flag";
  database.failNext("modes", ScriptedResponse::json(200, "[]"));
  refresh();
  EXPECT_TRUE(model.blockOnMac()) << "no mode row";
  database.failNext("modes", ScriptedResponse::json(500, R"({"code":"XX000","message":"down"})"));
  refresh();
  EXPECT_TRUE(model.blockOnMac()) << "a failed mode query";
  ASSERT_TRUE(model.activeSession()) << "the session is still followed";
  EXPECT_EQ(model.activeSession()->id, free);
  EXPECT_TRUE(model.status().startsWith("Aktive Session seit "));
}

TEST_F(SessionFollowingTest, NoSessionAndFailuresEndFollowing) {
  // Signed out: the auth client's own description.
  refresh();
  EXPECT_FALSE(model.activeSession());
  EXPECT_TRUE(model.blockOnMac());
  std::string signedOut;
  try {
    (void)client->auth()->session();
  } catch (const std::exception& error) {
    signedOut = zirudeze::helpers::localizedDescription(error);
  }
  ASSERT_FALSE(signedOut.empty());
  EXPECT_EQ(model.status(), QString::fromStdString("Fehler beim Laden: " + signedOut));
  EXPECT_EQ(sessionQueries(), 0u);

  signIn();
  refresh();
  EXPECT_EQ(model.status(), QStringLiteral("Keine aktive Session"));

  addMode("free", false);
  openSession(now - 10min, "free");
  refresh();
  ASSERT_TRUE(model.activeSession());
  EXPECT_FALSE(model.blockOnMac());

  // A row the decoder refuses ends following with the decoder's text.
  database.removeAllRows("sessions");
  openSession(now - 10min, "free", std::nullopt);
  std::string decoderText;
  try {
    (void)zirudeze::rest::restDefaultDecoder().decode<std::vector<SessionModel>>(database.rows("sessions").dump());
  } catch (const std::exception& error) {
    decoderText = zirudeze::helpers::localizedDescription(error);
  }
  ASSERT_FALSE(decoderText.empty());
  refresh();
  EXPECT_FALSE(model.activeSession());
  EXPECT_TRUE(model.blockOnMac());
  EXPECT_EQ(model.status(), QString::fromStdString("Fehler beim Laden: " + decoderText));
}

TEST_F(SessionFollowingTest, ResetReturnsToTheStartAndALateAnswerPublishesNothing) {
  signIn();
  openSession(now - 10min, std::nullopt);
  refresh();
  ASSERT_TRUE(model.activeSession());
  model.reset();
  EXPECT_FALSE(model.activeSession());
  EXPECT_TRUE(model.blockOnMac());
  EXPECT_EQ(model.status(), QStringLiteral("\u2014"));

  // A refresh under way when the app signs out must not follow the session again.
  bool done = false;
  int changes = 0;
  QObject::connect(&model, &SessionViewModel::activeSessionChanged, [&] { ++changes; });
  const auto slowRow = database.rows("sessions").dump();
  database.failNext("sessions", ScriptedResponse::json(200, slowRow).after(300ms));
  const auto asked = backend.requestCount();
  model.refresh([&] { done = true; });
  ASSERT_TRUE(backend.waitForRequests(asked + 1, 5s));
  model.reset();
  ASSERT_TRUE(processUntil([&] { return done; }));
  EXPECT_EQ(changes, 0);
  EXPECT_FALSE(model.activeSession());
  EXPECT_EQ(model.status(), QStringLiteral("\u2014"));
}

TEST_F(SessionFollowingTest, ARefreshOvertakenByANewerOnePublishesNothingMore) {
  signIn();
  openSession(now - 10min, std::nullopt);
  const auto slowRow = database.rows("sessions").dump();
  database.removeAllRows("sessions");
  database.failNext("sessions", ScriptedResponse::json(200, slowRow).after(400ms));
  bool olderDone = false, newerDone = false;
  const auto asked = backend.requestCount();
  model.refresh([&] { olderDone = true; });
  ASSERT_TRUE(backend.waitForRequests(asked + 1, 5s));
  model.refresh([&] { newerDone = true; });
  ASSERT_TRUE(processUntil([&] { return olderDone && newerDone; }));
  EXPECT_FALSE(model.activeSession()) << "the older answer came last but is stale";
  EXPECT_EQ(model.status(), QStringLiteral("Keine aktive Session"));
}

TEST_F(SessionFollowingTest, ANewSessionIsPublishedTogetherWithItsModesFlag) {
  signIn();
  addMode("free", false);
  addMode("strict", true);
  // Every moment the screen could see: a row with the flag it is published with.
  std::vector<std::pair<bool, bool>> seen;
  const auto record = [&] { seen.emplace_back(model.activeSession().has_value(), model.blockOnMac()); };
  QObject::connect(&model, &SessionViewModel::activeSessionChanged, record);
  QObject::connect(&model, &SessionViewModel::blockOnMacChanged, record);

  const auto free = openSession(now - 10min, "free");
  database.failNext("modes", ScriptedResponse::json(200, R"([{"block_on_mac":false}])").after(300ms));
  refresh();
  ASSERT_TRUE(model.activeSession());
  EXPECT_FALSE(model.blockOnMac());
  for (const auto& [present, blocks] : seen) EXPECT_FALSE(present && blocks) << "locked while the mode was read";

  // The flag stays fail-closed for a new row whose mode cannot be read.
  endSession(free, now);
  openSession(now - 5min, "free");
  database.failNext("modes", ScriptedResponse::json(503, "down"));
  refresh();
  ASSERT_TRUE(model.activeSession());
  EXPECT_TRUE(model.blockOnMac());

  // A session already followed is republished at once, before its mode is read again.
  database.removeAllRows("sessions");
  openSession(now - 5min, "strict");
  database.failNext("sessions", ScriptedResponse::json(200, [&] {
                      auto rows = database.rows("sessions");
                      rows[0]["id"] = model.activeSession()->id;
                      rows[0]["source"] = "tablet";
                      return rows.dump();
                    }()));
  std::optional<bool> flagWhenRowChanged;
  QObject::connect(&model, &SessionViewModel::activeSessionChanged, [&] { flagWhenRowChanged = model.blockOnMac(); });
  database.failNext("modes", ScriptedResponse::json(200, R"([{"block_on_mac":false}])").after(200ms));
  refresh();
  EXPECT_EQ(model.activeSession()->source, "tablet");
  EXPECT_EQ(flagWhenRowChanged, true) << "the row came before the new flag";
  EXPECT_FALSE(model.blockOnMac());
}

TEST(SessionModel, CodesTheTablesKeysInOrderAndLeavesOutAbsentValues) {
  const auto decoder = zirudeze::rest::restDefaultDecoder();
  const auto row = decoder.decode<SessionModel>(
      R"({"id":"a","user_id":"u","date":"2024-03-05","started_at":"2024-03-05T17:04:09.250+00:00",)"
      R"("ended_at":null,"duration_seconds":1500,"source":null,"mode_id":"m"})");
  EXPECT_EQ(row.id, "a");
  EXPECT_EQ(row.modeID, "m");
  EXPECT_FALSE(row.endedAt);
  EXPECT_FALSE(row.source);
  const auto written = zirudeze::rest::restDefaultEncoder().encodeToJson(row);
  std::vector<std::string> keys;
  for (auto it = written.begin(); it != written.end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"id", "user_id", "date", "started_at", "duration_seconds", "mode_id"}));
  EXPECT_EQ(decoder.decodeJson<SessionModel>(written), row);
  EXPECT_THROW(
      (void)decoder.decode<SessionModel>(R"({"id":"a","user_id":"u","date":"d","started_at":"2024-03-05T17:04:09Z"})"),
      velmoria::base::DecodingError);
}

}  // namespace
