#include <ctime>

#include "LocalBackendTestSupport.hpp"
#include "localbackend/Command.hpp"
#include "localbackend/Console.hpp"
#include "localbackend/Modes.hpp"

namespace velmoria::localbackend::testing {
namespace {

using Outcome = SessionChange::Outcome;

const Mode& reading() { return *findMode("Reading"); }

class LocalBackendTest : public ::testing::Test {
 protected:
  void signIn(const AppClient& app, const std::string& email) {
    app.signIn(email, [&](const std::string& address) { return codeIn(printed.waitFor("code for " + address)); });
  }
  std::size_t sessionRows() const { return backend.rows("sessions").size(); }

  PrintedLines printed;
  LocalBackend backend{0, printed.printer()};
};

TEST_F(LocalBackendTest, NothingStartsOrStopsWhileNobodyIsSignedIn) {
  EXPECT_FALSE(backend.signedInUser());
  const auto started = backend.start();
  EXPECT_EQ(started.outcome, Outcome::nobodySignedIn);
  EXPECT_EQ(started.message, "nobody is signed in: sign in to velmoria with the printed code first");
  EXPECT_TRUE(started.row.is_null());
  EXPECT_EQ(backend.stop().outcome, Outcome::noneRunning);
  EXPECT_EQ(sessionRows(), 0u);

  // Asking for a code is not signing in.
  AppClient app(backend.url());
  app.requestCode("ada@example.com");
  ASSERT_TRUE(printed.waitFor("code for ada@example.com: "));
  EXPECT_FALSE(backend.signedInUser());
  EXPECT_EQ(backend.start().outcome, Outcome::nobodySignedIn);
}

TEST_F(LocalBackendTest, AStartedSessionIsExactlyWhatTheAppsQueriesFind) {
  AppClient app(backend.url());
  signIn(app, "ada@example.com");
  const auto user = backend.signedInUser();
  ASSERT_TRUE(user);
  EXPECT_EQ(user->email, "ada@example.com");
  EXPECT_EQ(user->id, lowerCased(app.userID().uuidString()));
  EXPECT_TRUE(app.openSessions().empty());

  const auto before = std::chrono::system_clock::now();
  const auto started = backend.start();
  const auto after = std::chrono::system_clock::now();
  ASSERT_TRUE(started.succeeded()) << started.message;
  EXPECT_EQ(started.message,
            "started a \"Deep Work\" session for ada@example.com: it blocks the desktop; velmoria follows within 15 s");

  // The app asks with the upper-case id; the row keeps the service's own form.
  const auto open = app.openSessions();
  ASSERT_EQ(open.size(), 1u);
  const SessionRow& row = open[0];
  EXPECT_EQ(row.id, started.row["id"]);
  EXPECT_EQ(row.userID, user->id);
  EXPECT_FALSE(row.endedAt);
  EXPECT_EQ(row.durationSeconds, 0);
  EXPECT_EQ(row.source, "local");
  EXPECT_EQ(row.modeID, defaultMode().id);
  EXPECT_GE(row.startedAt, before - std::chrono::microseconds(1));
  EXPECT_LE(row.startedAt, after);
  const std::time_t startSeconds = std::chrono::system_clock::to_time_t(row.startedAt);
  std::tm local{};
  localtime_r(&startSeconds, &local);
  char day[16];
  std::strftime(day, sizeof day, "%Y-%m-%d", &local);
  EXPECT_EQ(row.date, day);
  ASSERT_EQ(app.modeFlag(*row.modeID).size(), 1u);
  EXPECT_EQ(app.modeFlag(*row.modeID)[0].blockOnMac, true);

  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  const auto stopped = backend.stop();
  const auto ran = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now() - before);
  ASSERT_TRUE(stopped.succeeded());
  EXPECT_EQ(stopped.message.rfind("ended the \"Deep Work\" session after ", 0), 0u) << stopped.message;
  EXPECT_TRUE(app.openSessions().empty());
  const auto stored = backend.rows("sessions");
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_TRUE(stored[0]["ended_at"].is_string());
  EXPECT_GE(stored[0]["duration_seconds"].get<std::int64_t>(), 1);
  EXPECT_LE(stored[0]["duration_seconds"].get<std::int64_t>(), ran.count());
  EXPECT_EQ(stopped.row, stored[0]);
  EXPECT_EQ(backend.stop().outcome, Outcome::noneRunning);
}

TEST_F(LocalBackendTest, TheNamedModeDecidesTheFlagTheAppReads) {
  AppClient app(backend.url());
  signIn(app, "ada@example.com");
  for (const std::string& name : std::vector<std::string>{"reading", "READING", reading().id, "  Reading"}) {
    const auto started = backend.start(name);
    ASSERT_TRUE(started.succeeded()) << name << ": " << started.message;
    const auto open = app.openSessions();
    ASSERT_EQ(open.size(), 1u);
    ASSERT_EQ(open[0].modeID, reading().id);
    ASSERT_EQ(app.modeFlag(reading().id).at(0).blockOnMac, false);
    ASSERT_TRUE(backend.stop().succeeded());
  }
  EXPECT_EQ(sessionRows(), 4u);
  EXPECT_TRUE(backend.start("deep work").succeeded());
  EXPECT_EQ(app.openSessions().at(0).modeID, defaultMode().id);
}

TEST_F(LocalBackendTest, ASecondStartAndAnUnknownModeWriteNothing) {
  AppClient app(backend.url());
  signIn(app, "ada@example.com");
  ASSERT_TRUE(backend.start("Reading").succeeded());
  const auto again = backend.start();
  EXPECT_EQ(again.outcome, Outcome::alreadyRunning);
  EXPECT_EQ(again.message, "a \"Reading\" session is running already; type stop first");
  EXPECT_EQ(sessionRows(), 1u);
  EXPECT_EQ(app.openSessions().at(0).modeID, reading().id);

  ASSERT_TRUE(backend.stop().succeeded());
  const auto unknown = backend.start("Nap\ttime\x1b[2J");
  EXPECT_EQ(unknown.outcome, Outcome::unknownMode);
  EXPECT_EQ(unknown.message,
            "no mode \"Nap?time?[2J\"; the modes are \"Deep Work\" (blocks the desktop), \"Reading\" (does not block)");
  EXPECT_EQ(sessionRows(), 1u);
}

TEST_F(LocalBackendTest, TheLatestSignedInUserGetsTheSessionAndSigningOutEndsThat) {
  AppClient ada(backend.url());
  AppClient grace(backend.url());
  signIn(ada, "ada@example.com");
  signIn(grace, "grace@example.com");
  ASSERT_TRUE(backend.start().succeeded());
  EXPECT_TRUE(ada.openSessions().empty());
  ASSERT_EQ(grace.openSessions().size(), 1u);
  ASSERT_TRUE(backend.stop().succeeded());

  grace.signOut();
  EXPECT_EQ(backend.signedInUser()->email, "ada@example.com");
  ada.signOut();
  EXPECT_FALSE(backend.signedInUser());
  EXPECT_EQ(backend.start().outcome, Outcome::nobodySignedIn);
}

TEST_F(LocalBackendTest, ControlRoutesStartAndStopAsTheTerminalDoes) {
  const auto status = [&] { return request(boost::beast::http::verb::get, backend.port(), "/local/v1/status"); };
  EXPECT_EQ(status().body, (Json{{"signed_in", nullptr}, {"session", nullptr}}));
  EXPECT_EQ(post(backend.port(), "/local/v1/start").status, 409u);
  AppClient app(backend.url());
  signIn(app, "ada@example.com");
  EXPECT_EQ(status().body["signed_in"], "ada@example.com");

  const auto started = post(backend.port(), "/local/v1/start", R"({"mode": "Reading"})");
  EXPECT_EQ(started.status, 201u);
  EXPECT_EQ(started.body["session"]["mode_id"], reading().id);
  EXPECT_EQ(started.body["session"]["id"], app.openSessions().at(0).id);
  EXPECT_TRUE(printed.waitFor("started a \"Reading\" session for ada@example.com"));
  EXPECT_EQ(status().body["session"], started.body["session"]);

  const auto again = post(backend.port(), "/local/v1/start");
  EXPECT_EQ(again.status, 409u);
  EXPECT_EQ(again.body["message"], "a \"Reading\" session is running already; type stop first");
  EXPECT_FALSE(again.body.contains("session"));

  const auto stopped = post(backend.port(), "/local/v1/stop");
  EXPECT_EQ(stopped.status, 200u);
  EXPECT_TRUE(stopped.body["session"]["ended_at"].is_string());
  EXPECT_TRUE(app.openSessions().empty());
  EXPECT_TRUE(status().body["session"].is_null());
  EXPECT_EQ(post(backend.port(), "/local/v1/stop").status, 409u);

  // The default mode for an empty object or a null mode; bad bodies change nothing.
  EXPECT_EQ(post(backend.port(), "/local/v1/start", R"({"mode": 3})").status, 400u);
  EXPECT_EQ(post(backend.port(), "/local/v1/start", "[\"Reading\"]").status, 400u);
  EXPECT_EQ(post(backend.port(), "/local/v1/start", "{\"mode\":").status, 400u);
  EXPECT_EQ(post(backend.port(), "/local/v1/start", R"({"mode": "nap"})").status, 404u);
  EXPECT_TRUE(app.openSessions().empty());
  const auto byDefault = post(backend.port(), "/local/v1/start", R"({"mode": null})");
  EXPECT_EQ(byDefault.status, 201u);
  EXPECT_EQ(byDefault.body["session"]["mode_id"], defaultMode().id);
}

TEST_F(LocalBackendTest, TypedLinesRunTheirCommandOrSayWhatIsWrong) {
  EXPECT_EQ(answerLine(backend, "   "), "");
  EXPECT_EQ(answerLine(backend, "help"), helpText());
  EXPECT_EQ(answerLine(backend, "start"), "nobody is signed in: sign in to velmoria with the printed code first");
  EXPECT_EQ(answerLine(backend, "launch rockets"), "unknown command \"launch\"; type help for the commands");
  AppClient app(backend.url());
  signIn(app, "ada@example.com");
  EXPECT_EQ(answerLine(backend, "Start reading").substr(0, 26), "started a \"Reading\" sessio");
  EXPECT_EQ(answerLine(backend, "stop please"), "stop takes no argument; type help for the commands");
  EXPECT_EQ(app.openSessions().size(), 1u);
  EXPECT_EQ(answerLine(backend, "STOP").rfind("ended the \"Reading\" session after ", 0), 0u);
  EXPECT_TRUE(app.openSessions().empty());
}

TEST_F(LocalBackendTest, GreetingNamesTheAddressAndKey) {
  const auto text = greeting(backend);
  EXPECT_NE(text.find("URL: http://127.0.0.1:" + std::to_string(backend.port()) + "\n"), std::string::npos);
  EXPECT_NE(text.find(std::string("key: ") + LocalBackend::kKey + "\n"), std::string::npos);
}

}  // namespace
}  // namespace velmoria::localbackend::testing
