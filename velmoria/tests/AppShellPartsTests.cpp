// The pieces around the window: the backend client's settings, one instance per user, and activity.
#include <sys/stat.h>

#include <QLocalSocket>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "BlockingTestSupport.hpp"
#include "EventLoopSupport.hpp"
#include "auth/ApplicationActivity.hpp"
#include "helpers/NotificationCenter.hpp"
#include "testsupport/ScratchFolder.hpp"
#include "velmoria/ApplicationActivity.hpp"
#include "velmoria/BackendClient.hpp"
#include "velmoria/SingleInstance.hpp"

namespace {

using velmoria::ConfigurationError;

velmoria::platform::InfoDictionary info(nlohmann::json values) {
  return velmoria::platform::InfoDictionary(std::move(values), "Info.json");
}

TEST(BackendClient, ReadsTheProjectFromTheInformationDictionary) {
  const auto configuration =
      velmoria::readBackendConfiguration(info({{"ZIRUDEZE_URL", "https://abc.example.co"}, {"ZIRUDEZE_KEY", "k"}}));
  EXPECT_EQ(configuration.url.absoluteString(), "https://abc.example.co");
  EXPECT_EQ(configuration.key, "k");
  EXPECT_THROW(velmoria::readBackendConfiguration(info({{"ZIRUDEZE_URL", "https://a.example"}})), ConfigurationError);
  EXPECT_THROW(velmoria::readBackendConfiguration(info({{"ZIRUDEZE_URL", true}, {"ZIRUDEZE_KEY", "k"}})),
               ConfigurationError);
  EXPECT_THROW(velmoria::readBackendConfiguration(info({{"ZIRUDEZE_URL", "::"}, {"ZIRUDEZE_KEY", "k"}})),
               ConfigurationError);
  EXPECT_THROW((void)velmoria::makeBackendClient(
                   velmoria::readBackendConfiguration(info({{"ZIRUDEZE_URL", "mailto:x"}, {"ZIRUDEZE_KEY", "k"}})),
                   velmoria::backendClientOptions()),
               ConfigurationError);
  EXPECT_EQ(velmoria::ownAppIdentifier(info({{"VELMORIA_APP_ID", "velmoria"}})), "velmoria");
  EXPECT_EQ(velmoria::ownAppIdentifier(info(nlohmann::json::object())), std::nullopt);
  EXPECT_THROW(velmoria::ownAppIdentifier(info({{"VELMORIA_APP_ID", 1}})), ConfigurationError);
}

TEST(BackendClient, OptionsAreTheAppsFixedSet) {
  const auto options = velmoria::backendClientOptions();
  EXPECT_FALSE(options.db.schema);
  EXPECT_EQ(options.auth.storage, zirudeze::auth::AuthClientConfiguration::defaultLocalStorage());
  EXPECT_FALSE(options.auth.redirectToURL);
  EXPECT_FALSE(options.auth.storageKey);
  EXPECT_EQ(options.auth.flowType, zirudeze::auth::AuthFlowType::pkce);
  EXPECT_TRUE(options.auth.autoRefreshToken);
  EXPECT_TRUE(options.auth.emitLocalSessionAsInitialSession);
  EXPECT_FALSE(options.auth.accessToken);
  EXPECT_TRUE(options.global.headers.empty());
  EXPECT_EQ(options.global.session, zirudeze::helpers::CurlTransport::shared());
  EXPECT_EQ(options.global.logger, nullptr);
  EXPECT_FALSE(options.storage.useNewHostname);

  // The realtime row is the realtime client's own defaults.
  const zirudeze::realtime::RealtimeClientOptions defaults;
  const auto& realtime = options.realtime;
  EXPECT_EQ(realtime.headers, defaults.headers);
  EXPECT_EQ(realtime.heartbeatInterval, 25);
  EXPECT_EQ(realtime.heartbeatInterval, defaults.heartbeatInterval);
  EXPECT_EQ(realtime.reconnectDelay, 7);
  EXPECT_EQ(realtime.reconnectDelay, defaults.reconnectDelay);
  EXPECT_EQ(realtime.timeoutInterval, 10);
  EXPECT_EQ(realtime.timeoutInterval, defaults.timeoutInterval);
  EXPECT_EQ(realtime.disconnectOnSessionLoss, defaults.disconnectOnSessionLoss);
  EXPECT_EQ(realtime.connectOnSubscribe, defaults.connectOnSubscribe);
  EXPECT_EQ(realtime.maxRetryAttempts, 5);
  EXPECT_EQ(realtime.maxRetryAttempts, defaults.maxRetryAttempts);
  EXPECT_EQ(realtime.logLevel, defaults.logLevel);
  EXPECT_FALSE(realtime.fetch);
  EXPECT_FALSE(realtime.accessToken);
  EXPECT_EQ(realtime.logger, nullptr);
}

TEST(SingleInstance, ASecondLaunchAsksTheFirstToReopenAndStands) {
  velmoria::testing::app();
  velmoria::testsupport::ScratchFolder folder;
  const auto socket = folder.path() / "velmoria.socket";
  velmoria::SingleInstance first(socket);
  ASSERT_TRUE(first.isPrimary());
  ASSERT_TRUE(first.isListening());
  struct stat info {};
  ASSERT_EQ(::stat(socket.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 077, 0u) << "only the user may connect";

  int reopened = 0;
  QObject::connect(&first, &velmoria::SingleInstance::reopenRequested, [&] { ++reopened; });
  velmoria::SingleInstance second(socket);
  EXPECT_FALSE(second.isPrimary());
  EXPECT_FALSE(second.isListening());
  EXPECT_TRUE(velmoria::testing::processUntil([&] { return reopened != 0; }));
  EXPECT_EQ(reopened, 1);

  // Anything else said on the socket is ignored.
  QLocalSocket stranger;
  stranger.connectToServer(QString::fromStdString(socket.string()));
  ASSERT_TRUE(stranger.waitForConnected(2000));
  stranger.write("quit\n");
  stranger.waitForBytesWritten(2000);
  velmoria::testing::processFor(std::chrono::milliseconds(200));
  EXPECT_EQ(reopened, 1);
}

TEST(SingleInstance, ASocketLeftByAnInstanceThatIsGoneIsTakenOver) {
  velmoria::testing::app();
  velmoria::testsupport::ScratchFolder folder;
  const auto socket = folder.path() / "velmoria.socket";
  std::ofstream(socket) << "stale";
  velmoria::SingleInstance instance(socket);
  EXPECT_TRUE(instance.isPrimary());
  EXPECT_TRUE(instance.isListening());
}

TEST(ApplicationActivity, PostsTheNamesTheAuthClientFollows) {
  std::vector<std::string> posted;
  auto& center = zirudeze::helpers::NotificationCenter::defaultCenter();
  const auto active = center.addObserver(std::string(zirudeze::auth::kApplicationDidBecomeActiveNotification),
                                         [&](const auto& note) { posted.push_back(note.name); });
  const auto resigning = center.addObserver(std::string(zirudeze::auth::kApplicationWillResignActiveNotification),
                                            [&](const auto& note) { posted.push_back(note.name); });
  velmoria::ApplicationActivity activity;
  activity.stateChanged(Qt::ApplicationInactive);
  activity.stateChanged(Qt::ApplicationActive);
  activity.stateChanged(Qt::ApplicationActive);
  activity.stateChanged(Qt::ApplicationHidden);
  activity.stateChanged(Qt::ApplicationInactive);
  EXPECT_EQ(posted, (std::vector<std::string>{"NSApplicationDidBecomeActiveNotification",
                                              "NSApplicationWillResignActiveNotification"}));
}

}  // namespace
