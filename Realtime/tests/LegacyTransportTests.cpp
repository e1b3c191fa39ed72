// The legacy transport against fake WebSocket peers: its reports in order, close frames, cuts and refusals.
#include <gtest/gtest.h>

#include "TransportTestSupport.hpp"
#include "helpers/URLError.hpp"
#include "realtime/legacy/URLSessionTransport.hpp"
#include "realtime/transport/IoThread.hpp"

namespace zirudeze::realtime {
namespace {

using namespace std::chrono_literals;
using testing::url;
using velmoria::testsupport::FakeBackend;
using velmoria::testsupport::FakeWebSockets;
using velmoria::testsupport::ScriptedResponse;

bool isOneOf(SocketTransportReadyState state, SocketTransportReadyState one, SocketTransportReadyState other) {
  return state == one || state == other;
}

// Records every report in order, with the thread it came on.
class RecordingDelegate : public SocketTransportDelegate {
 public:
  struct Report {
    std::string kind;  // "open", "error", "message", "close"
    std::string text;  // message text, error description, close reason ("<none>" when absent)
    int code = 0;      // close code, response status
  };

  void onOpen(const std::optional<helpers::HTTPURLResponse>& response) override {
    if (response) {
      std::lock_guard lock(mutex_);
      openResponse_ = *response;
    }
    add({"open", "", response ? response->statusCode : 0});
  }
  void onError(const std::exception_ptr& error, const std::optional<helpers::HTTPURLResponse>& response) override {
    add({"error", localizedDescription(error), response ? response->statusCode : 0});
  }
  void onMessage(const std::string& message) override { add({"message", message, 0}); }
  void onClose(int code, const std::optional<std::string>& reason) override {
    add({"close", reason.value_or("<none>"), code});
  }

  bool waitFor(std::size_t count, std::chrono::milliseconds timeout = 5s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return reports_.size() >= count; });
  }
  std::vector<Report> reports() {
    std::lock_guard lock(mutex_);
    return reports_;
  }
  std::vector<std::string> kinds() {
    std::vector<std::string> list;
    for (const auto& report : reports()) list.push_back(report.kind);
    return list;
  }
  bool sawIoThread() {
    std::lock_guard lock(mutex_);
    return onIoThread_;
  }
  helpers::HTTPURLResponse openResponse() {
    std::lock_guard lock(mutex_);
    return openResponse_;
  }

 private:
  void add(Report report) {
    {
      std::lock_guard lock(mutex_);
      onIoThread_ = onIoThread_ || transport::onIoThread();
      reports_.push_back(std::move(report));
    }
    changed_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Report> reports_;
  helpers::HTTPURLResponse openResponse_;
  bool onIoThread_ = false;
};

class LegacyTransport : public ::testing::Test {
 protected:
  void SetUp() override { sockets.route("/socket/websocket"); }

  std::unique_ptr<URLSessionTransport> transportFor(const std::string& path = "/socket/websocket") {
    auto made = std::make_unique<URLSessionTransport>(url(backend.url(path)), testing::quickConfiguration());
    made->setDelegate(delegate);
    return made;
  }

  FakeBackend backend;
  FakeWebSockets sockets{backend};
  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

TEST(LegacyTransportURL, HTTPSchemesBecomeWebSocketSchemesAnywhereInTheText) {
  EXPECT_EQ(legacyWebSocketURL(url("https://p.example/realtime/v1/websocket?vsn=2.0.0")).absoluteString(),
            "wss://p.example/realtime/v1/websocket?vsn=2.0.0");
  EXPECT_EQ(legacyWebSocketURL(url("http://127.0.0.1:4000/socket")).absoluteString(), "ws://127.0.0.1:4000/socket");
  EXPECT_EQ(legacyWebSocketURL(url("wss://p.example/s")).absoluteString(), "wss://p.example/s");
  EXPECT_EQ(legacyWebSocketURL(url("ws://p.example/s?next=https://other.example/")).absoluteString(),
            "ws://p.example/s?next=wss://other.example/");
  EXPECT_EQ(URLSessionTransport(url("https://p.example/s")).url().absoluteString(), "wss://p.example/s");
}

TEST(LegacyTransportCloseReason, OnlyUTF8BytesGiveAReason) {
  EXPECT_EQ(decodeLegacyCloseReason("bye"), "bye");
  EXPECT_EQ(decodeLegacyCloseReason(""), std::nullopt);
  EXPECT_EQ(decodeLegacyCloseReason(std::string_view("b\xff", 2)), std::nullopt);
}

TEST_F(LegacyTransport, OpensReceivesAndClosesThroughTheDelegateInOrder) {
  auto transport = transportFor();
  EXPECT_EQ(transport->readyState(), SocketTransportReadyState::closed);
  transport->connect({{"apikey", "key"}});
  // A loopback handshake may be over before the test looks.
  EXPECT_TRUE(isOneOf(transport->readyState(), SocketTransportReadyState::connecting, SocketTransportReadyState::open));
  ASSERT_TRUE(delegate->waitFor(1));
  EXPECT_EQ(transport->readyState(), SocketTransportReadyState::open);
  EXPECT_EQ(delegate->openResponse().statusCode, 101);
  EXPECT_EQ(delegate->openResponse().value("upgrade"), "websocket");

  auto peer = sockets.waitForPeer();
  peer->sendText(R"([null,null,"phoenix","phx_reply",{}])");
  peer->sendBinary("ignored");
  peer->close(4000, "bye");
  ASSERT_TRUE(delegate->waitFor(3));
  const auto reports = delegate->reports();
  EXPECT_EQ(delegate->kinds(), (std::vector<std::string>{"open", "message", "close"}));
  EXPECT_EQ(reports[1].text, R"([null,null,"phoenix","phx_reply",{}])");
  EXPECT_EQ(reports[2].code, 4000);
  EXPECT_EQ(reports[2].text, "bye");
  EXPECT_EQ(transport->readyState(), SocketTransportReadyState::closed);
  EXPECT_FALSE(delegate->sawIoThread());
}

TEST_F(LegacyTransport, HeadersAreAddedAndTheConfigurationsFollowForOtherNames) {
  auto transport = std::make_unique<URLSessionTransport>(
      url(backend.url("/socket/websocket")),
      testing::quickConfiguration({{"apikey", "from-configuration"}, {"X-Extra", "1"}}));
  transport->setDelegate(delegate);
  transport->connect({{"apikey", "key"}, {"X-Client-Info", "vededore-dorod/2.41.1"}});
  const auto upgrade = sockets.waitForPeer()->upgrade();
  EXPECT_EQ(upgrade.headerValues("apikey"), (std::vector<std::string>{"key"}));
  EXPECT_EQ(upgrade.header("X-Client-Info"), "vededore-dorod/2.41.1");
  EXPECT_EQ(upgrade.header("X-Extra"), "1");
}

TEST_F(LegacyTransport, DisconnectSendsTheCloseFrameWithoutReasonBytes) {
  auto transport = transportFor();
  transport->connect({});
  ASSERT_TRUE(delegate->waitFor(1));
  auto peer = sockets.waitForPeer();
  transport->disconnect(1000, std::nullopt);
  // The peer may have answered the close, and the transport reported it, before the test looks.
  EXPECT_TRUE(isOneOf(transport->readyState(), SocketTransportReadyState::closing, SocketTransportReadyState::closed));
  ASSERT_TRUE(delegate->waitFor(2));
  ASSERT_TRUE(peer->waitForEnd(5s));
  ASSERT_TRUE(peer->receivedClose());
  EXPECT_EQ(peer->receivedClose()->code, 1000);
  EXPECT_EQ(peer->receivedClose()->reason, "");
  EXPECT_EQ(delegate->reports().back().kind, "close");
  EXPECT_EQ(delegate->reports().back().code, 1000);
  EXPECT_EQ(delegate->reports().back().text, "<none>");
  EXPECT_EQ(transport->readyState(), SocketTransportReadyState::closed);
}

TEST_F(LegacyTransport, ACodeThatMayNotGoOnTheWireCutsWithoutAFrame) {
  auto transport = transportFor();
  transport->connect({});
  ASSERT_TRUE(delegate->waitFor(1));
  auto peer = sockets.waitForPeer();
  transport->disconnect(999, "heartbeat timeout");
  ASSERT_TRUE(peer->waitForEnd(5s));
  EXPECT_EQ(peer->receivedClose(), std::nullopt);
  ASSERT_TRUE(delegate->waitFor(2));
  EXPECT_EQ(delegate->reports().back().code, 999);
  EXPECT_EQ(delegate->reports().back().text, "heartbeat timeout");
}

TEST_F(LegacyTransport, ADroppedConnectionReportsAnErrorThenAnAbnormalClose) {
  auto transport = transportFor();
  transport->connect({});
  ASSERT_TRUE(delegate->waitFor(1));
  ::testing::internal::CaptureStdout();
  sockets.waitForPeer()->dropTCP();
  ASSERT_TRUE(delegate->waitFor(3));
  const std::string printed = ::testing::internal::GetCapturedStdout();
  const std::string lost = helpers::URLError(helpers::URLError::Code::networkConnectionLost).localizedDescription();
  EXPECT_EQ(delegate->kinds(), (std::vector<std::string>{"open", "error", "close"}));
  EXPECT_EQ(delegate->reports()[1].text, lost);
  EXPECT_EQ(delegate->reports()[2].code, 999);
  EXPECT_EQ(delegate->reports()[2].text, lost);
  EXPECT_NE(printed.find("Error when receiving "), std::string::npos);
  EXPECT_EQ(transport->readyState(), SocketTransportReadyState::closed);
}

TEST_F(LegacyTransport, ARefusedUpgradeReportsTheResponseWithTheError) {
  backend.respond("GET", "/denied", ScriptedResponse::json(401, R"({"message":"no"})"));
  auto transport = transportFor("/denied");
  transport->connect({});
  ASSERT_TRUE(delegate->waitFor(2));
  const auto reports = delegate->reports();
  EXPECT_EQ(delegate->kinds(), (std::vector<std::string>{"error", "close"}));
  EXPECT_EQ(reports[0].code, 401);
  EXPECT_EQ(reports[1].code, 999);
  EXPECT_EQ(transport->readyState(), SocketTransportReadyState::closed);
}

TEST_F(LegacyTransport, SendsWhileOpeningGoOutOnceOpenWithInvalidUTF8Replaced) {
  auto transport = transportFor();
  transport->connect({});
  transport->send(velmoria::base::dataFromString("first"));
  transport->send(velmoria::base::dataFromString(std::string_view("bad\xff", 4)));
  auto peer = sockets.waitForPeer();
  ASSERT_TRUE(peer->waitForFrames(2, 5s));
  EXPECT_EQ(peer->frames()[0].payload, "first");
  EXPECT_EQ(peer->frames()[1].payload, "bad\xEF\xBF\xBD");
  EXPECT_TRUE(peer->frames()[1].text);
}

TEST_F(LegacyTransport, ReportsAfterTheDelegateIsClearedReachNobody) {
  auto transport = transportFor();
  transport->connect({});
  ASSERT_TRUE(delegate->waitFor(1));
  transport->setDelegate({});
  EXPECT_EQ(transport->delegate(), nullptr);
  sockets.waitForPeer()->sendText("unheard");
  transport->disconnect(1000, "bye");
  // Closed is set by the last report's own delivery, after the message's.
  ASSERT_TRUE(testing::eventually([&] { return transport->readyState() == SocketTransportReadyState::closed; }));
  EXPECT_EQ(delegate->reports().size(), 1u);
}

TEST_F(LegacyTransport, DisconnectWhileOpeningEndsTheAttempt) {
  backend.respond("GET", "/slow", ScriptedResponse::json(401, "{}").after(10s));
  auto transport = transportFor("/slow");
  transport->connect({});
  ASSERT_TRUE(backend.waitForRequests(1, 5s));
  transport->disconnect(1000, std::nullopt);
  ASSERT_TRUE(delegate->waitFor(2));
  EXPECT_EQ(delegate->kinds(), (std::vector<std::string>{"error", "close"}));
  EXPECT_EQ(delegate->reports()[0].text, helpers::URLError(helpers::URLError::Code::cancelled).localizedDescription());
}

}  // namespace
}  // namespace zirudeze::realtime
