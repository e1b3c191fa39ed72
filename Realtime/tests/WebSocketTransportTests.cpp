#include <condition_variable>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "TransportTestSupport.hpp"
#include "concurrency/CancellationError.hpp"
#include "helpers/URLError.hpp"
#include "realtime/transport/IoThread.hpp"

namespace zirudeze::realtime {
namespace {

using namespace std::chrono_literals;
using testing::EventLog;
using testing::url;
using velmoria::testsupport::FakeBackend;
using velmoria::testsupport::FakeWebSockets;
using velmoria::testsupport::ScriptedResponse;
using velmoria::testsupport::WebSocketRouteOptions;

template <class Change>
WebSocketRouteOptions routeOptions(Change change) {
  WebSocketRouteOptions options;
  change(options);
  return options;
}

class WebSocketTransport : public ::testing::Test {
 protected:
  void SetUp() override {
    sockets.route("/socket");
    sockets.route("/echo", routeOptions([](auto& options) { options.echo = true; }));
  }

  std::shared_ptr<URLSessionWebSocket> open(const std::string& path = "/socket",
                                            WebSocketConfiguration configuration = testing::quickConfiguration(),
                                            std::optional<std::vector<std::string>> protocols = std::nullopt) {
    return URLSessionWebSocket::connect(url(sockets.url(path)), std::move(protocols), std::move(configuration));
  }

  // The connect's failure, which must be the unexpected-end error.
  WebSocketError failureOf(const std::string& text,
                           WebSocketConfiguration configuration = testing::quickConfiguration()) {
    try {
      URLSessionWebSocket::connect(url(text), std::nullopt, std::move(configuration));
    } catch (const WebSocketError& error) {
      return error;
    }
    ADD_FAILURE() << "connected to " << text;
    return WebSocketError::connection("", nullptr);
  }

  static helpers::URLError::Code causeCode(const WebSocketError& error) {
    try {
      std::rethrow_exception(error.underlying());
    } catch (const helpers::URLError& cause) {
      return cause.code();
    } catch (...) {
    }
    return helpers::URLError::Code::unknown;
  }

  FakeBackend backend;
  FakeWebSockets sockets{backend};
  std::shared_ptr<EventLog> log = std::make_shared<EventLog>();
};

TEST_F(WebSocketTransport, FramesBeforeAHandlerKeepTheNewestHundredAndTheClose) {
  auto socket = open();
  auto peer = sockets.waitForPeer();
  for (int i = 1; i <= 101; ++i) peer->sendText("frame " + std::to_string(i));
  peer->close(4000, "bye");
  ASSERT_TRUE(testing::eventually([&] { return socket->isClosed(); }));
  EXPECT_EQ(socket->closeCode(), 4000);
  EXPECT_EQ(socket->closeReason(), "bye");

  socket->setOnEvent(log->handler());
  const auto events = log->events();
  ASSERT_EQ(events.size(), 101u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(events[i], WebSocketEvent::text("frame " + std::to_string(i + 2)));
  EXPECT_EQ(events[100], WebSocketEvent::close(4000, "bye"));
  // Delivered once: a later handler gets nothing, and none remains.
  auto later = std::make_shared<EventLog>();
  socket->setOnEvent(later->handler());
  EXPECT_TRUE(later->events().empty());
  EXPECT_FALSE(socket->onEvent());
}

TEST_F(WebSocketTransport, ALateHandlerGetsKeptEventsBeforeLiveOnesInOrder) {
  auto socket = open();
  auto peer = sockets.waitForPeer();
  peer->sendText("one");
  peer->sendBinary(std::string("\x00\x01", 2));
  peer->sendFragmented({"th", "r", "ee"});
  std::this_thread::sleep_for(200ms);
  socket->setOnEvent(log->handler());
  peer->sendText("four");
  ASSERT_TRUE(log->waitFor(4));
  EXPECT_EQ(log->events(), (std::vector<WebSocketEvent>{WebSocketEvent::text("one"),
                                                        WebSocketEvent::binary(velmoria::base::Data{0, 1}),
                                                        WebSocketEvent::text("three"), WebSocketEvent::text("four")}));
}

TEST_F(WebSocketTransport, AServerCloseEndsTheSocketOnceAndLaterSendsAreIgnored) {
  auto socket = open();
  socket->setOnEvent(log->handler());
  auto peer = sockets.waitForPeer();
  peer->close(4000, "bye");
  ASSERT_TRUE(log->waitForClose());
  ASSERT_TRUE(peer->waitForEnd(5s));
  EXPECT_EQ(log->events(), (std::vector<WebSocketEvent>{WebSocketEvent::close(4000, "bye")}));
  EXPECT_TRUE(socket->isClosed());
  socket->send("after");
  socket->close(1000, "again");
  std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(peer->frames().empty());
  EXPECT_EQ(log->closeCount(), 1u);
  // The client answered the close with the same frame.
  ASSERT_TRUE(peer->receivedClose());
  EXPECT_EQ(peer->receivedClose()->code, 4000);
}

TEST_F(WebSocketTransport, ADroppedConnectionClosesOnceWith1006) {
  auto socket = open();
  socket->setOnEvent(log->handler());
  sockets.waitForPeer()->dropTCP();
  ASSERT_TRUE(log->waitForClose());
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(log->events(), (std::vector<WebSocketEvent>{WebSocketEvent::close(1006, "Network connection lost")}));
  EXPECT_EQ(socket->closeCode(), 1006);
}

TEST_F(WebSocketTransport, ARefusedPortAndARefusedUpgradeEndTheConnectUnexpectedly) {
  const auto refused = failureOf("ws://127.0.0.1:" + std::to_string(testing::refusingPort()) + "/socket");
  EXPECT_EQ(refused.message(), "connection ended unexpectedly");
  EXPECT_EQ(refused.localizedDescription(), "connection ended unexpectedly Could not connect to the server.");
  EXPECT_EQ(causeCode(refused), helpers::URLError::Code::cannotConnectToHost);

  backend.respond("GET", "/denied", ScriptedResponse::json(401, R"({"message":"no"})"));
  const auto denied = failureOf(sockets.url("/denied"));
  EXPECT_EQ(denied.localizedDescription(),
            "connection ended unexpectedly " +
                helpers::URLError(helpers::URLError::Code::badServerResponse).localizedDescription());
  EXPECT_EQ(causeCode(denied), helpers::URLError::Code::badServerResponse);
  EXPECT_EQ(backend.lastRequest().path, "/denied");

  backend.respond("GET", "/hangup", ScriptedResponse::dropped());
  EXPECT_EQ(causeCode(failureOf(sockets.url("/hangup"))), helpers::URLError::Code::networkConnectionLost);
  ScriptedResponse garbage;
  garbage.raw = "HTTP/1.1 101 Switching Protocols\r\n\r\n";
  backend.respond("GET", "/garbage", garbage);
  EXPECT_EQ(causeCode(failureOf(sockets.url("/garbage"))), helpers::URLError::Code::badServerResponse);
}

TEST_F(WebSocketTransport, AnUnansweredUpgradeEndsAtTheHandshakeLimit) {
  backend.respond("GET", "/silent", ScriptedResponse::json(401, "{}").after(10s));
  WebSocketConfiguration configuration = testing::quickConfiguration();
  configuration.handshakeLimit = 300ms;
  const auto started = std::chrono::steady_clock::now();
  const auto silent = failureOf(sockets.url("/silent"), configuration);
  EXPECT_EQ(causeCode(silent), helpers::URLError::Code::timedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
}

TEST_F(WebSocketTransport, AStopRequestEndsAPendingConnect) {
  backend.respond("GET", "/silent", ScriptedResponse::json(401, "{}").after(10s));
  std::stop_source stop;
  std::thread stopper([&] {
    backend.waitForRequests(1, 5s);
    stop.request_stop();
  });
  const auto started = std::chrono::steady_clock::now();
  EXPECT_THROW(URLSessionWebSocket::connect(url(sockets.url("/silent")), std::nullopt, std::nullopt, stop.get_token()),
               concurrency::CancellationError);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
  stopper.join();
  std::stop_source already;
  already.request_stop();
  EXPECT_THROW(
      URLSessionWebSocket::connect(url(sockets.url("/socket")), std::nullopt, std::nullopt, already.get_token()),
      concurrency::CancellationError);
}

TEST_F(WebSocketTransport, ConfigurationHeadersAreSetOnTheHandshake) {
  auto socket =
      open("/socket?apikey=q&vsn=1.0.0", testing::quickConfiguration({{"apikey", "first"},
                                                                      {"X-Client-Info", "vededore-dorod/2.41.1"},
                                                                      {"APIKEY", "second"},
                                                                      {"Host", "forged.example"},
                                                                      {"Connection", "close"}}));
  const auto upgrade = sockets.waitForPeer()->upgrade();
  EXPECT_EQ(upgrade.headerValues("apikey"), (std::vector<std::string>{"second"}));
  EXPECT_EQ(upgrade.header("X-Client-Info"), "vededore-dorod/2.41.1");
  EXPECT_EQ(upgrade.header("Host"), "127.0.0.1:" + std::to_string(backend.port()));
  EXPECT_EQ(upgrade.header("Upgrade"), "websocket");
  EXPECT_EQ(upgrade.header("User-Agent"), std::nullopt);
  EXPECT_EQ(upgrade.queryValue("vsn"), "1.0.0");
  EXPECT_EQ(upgrade.path, "/socket");
  EXPECT_EQ(backend.requestCount(), 1u);
}

TEST_F(WebSocketTransport, TheChosenSubprotocolIsReportedAndAnUnofferedOneRefused) {
  sockets.route("/chooses", routeOptions([](auto& options) { options.subprotocol = "v2"; }));
  auto socket = open("/chooses", testing::quickConfiguration(), std::vector<std::string>{"v1", "v2"});
  EXPECT_EQ(socket->protocol(), "v2");
  EXPECT_EQ(sockets.waitForPeer()->upgrade().header("Sec-WebSocket-Protocol"), "v1, v2");
  EXPECT_EQ(open()->protocol(), std::nullopt);
  EXPECT_THROW(open("/chooses", testing::quickConfiguration(), std::vector<std::string>{"v1"}), WebSocketError);
}

TEST_F(WebSocketTransport, CloseWithACodeSendsThatFrameAndReportsTheEcho) {
  auto socket = open();
  socket->setOnEvent(log->handler());
  auto peer = sockets.waitForPeer();
  socket->close(1000, "done");
  ASSERT_TRUE(log->waitForClose());
  ASSERT_TRUE(peer->waitForEnd(5s));
  ASSERT_TRUE(peer->receivedClose());
  EXPECT_EQ(peer->receivedClose()->code, 1000);
  EXPECT_EQ(peer->receivedClose()->reason, "done");
  // The event holds the server's answer, which repeats the code only.
  EXPECT_EQ(log->events(), (std::vector<WebSocketEvent>{WebSocketEvent::close(1000, "")}));
}

TEST_F(WebSocketTransport, CloseWithoutACodeCutsTheConnectionWithoutAFrame) {
  auto socket = open();
  socket->setOnEvent(log->handler());
  auto peer = sockets.waitForPeer();
  socket->close();
  ASSERT_TRUE(log->waitForClose());
  ASSERT_TRUE(peer->waitForEnd(5s));
  EXPECT_EQ(peer->receivedClose(), std::nullopt);
  EXPECT_EQ(log->events(), (std::vector<WebSocketEvent>{WebSocketEvent::close(1006, "abnormal close")}));
}

TEST_F(WebSocketTransport, ACloseThePeerNeverAnswersEndsAtTheHandshakeLimit) {
  sockets.route("/deaf", routeOptions([](auto& options) { options.read = false; }));
  WebSocketConfiguration configuration = testing::quickConfiguration();
  configuration.handshakeLimit = 300ms;
  auto socket = open("/deaf", configuration);
  socket->setOnEvent(log->handler());
  socket->close(1000, "bye");
  ASSERT_TRUE(log->waitForClose());
  EXPECT_EQ(log->events().back(), WebSocketEvent::close(1006, "Connection timed out"));
}

TEST_F(WebSocketTransport, CallerErrorsInCloseAreRefused) {
  auto socket = open();
  EXPECT_THROW(socket->close(1001, std::nullopt), std::invalid_argument);
  EXPECT_THROW(socket->close(2999, std::nullopt), std::invalid_argument);
  EXPECT_THROW(socket->close(5000, std::nullopt), std::invalid_argument);
  EXPECT_THROW(socket->close(1000, std::string(124, 'r')), std::invalid_argument);
  EXPECT_THROW(socket->close(1000, std::string("\xff")), std::invalid_argument);
  EXPECT_FALSE(socket->isClosed());
  socket->setOnEvent(log->handler());
  socket->close(4999, std::string(123, 'r'));
  ASSERT_TRUE(log->waitForClose());
  EXPECT_EQ(socket->closeCode(), 4999);
  EXPECT_NO_THROW(socket->close(1001, std::nullopt));
  EXPECT_THROW(URLSessionWebSocket::connect(url("http://127.0.0.1/socket")), std::invalid_argument);
  EXPECT_THROW(URLSessionWebSocket::connect(url("WS://127.0.0.1/socket")), std::invalid_argument);
}

TEST_F(WebSocketTransport, ConcurrentSendersDeliverEveryFrameIntact) {
  auto socket = open();
  auto peer = sockets.waitForPeer();
  constexpr int kThreads = 8;
  constexpr int kFrames = 1000;
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([&, t] {
      for (int i = 0; i < kFrames; ++i)
        socket->send(std::to_string(t) + ":" + std::to_string(i) + std::string(40, 'x'));
    });
  }
  for (auto& sender : senders) sender.join();
  ASSERT_TRUE(peer->waitForFrames(kThreads * kFrames, 20s));
  std::vector<int> next(kThreads, 0);
  for (const auto& frame : peer->frames()) {
    ASSERT_TRUE(frame.text);
    const auto colon = frame.payload.find(':');
    const int thread = std::stoi(frame.payload.substr(0, colon));
    const int index = std::stoi(frame.payload.substr(colon + 1));
    EXPECT_EQ(index, next[thread]++) << "frames of one sender arrive in order";
    EXPECT_EQ(frame.payload.size(), frame.payload.find('x') + 40);
  }
  for (int count : next) EXPECT_EQ(count, kFrames);
}

// A caller answering what it was handed must not queue behind the handler that handed it over.
TEST_F(WebSocketTransport, ASendDoesNotWaitForAHandlerThatIsStillRunning) {
  std::mutex mutex;
  std::condition_variable changed;
  bool handling = false;
  bool answered = false;
  bool answerSeenInHandler = false;
  auto socket = open("/echo");
  socket->setOnEvent([&, inner = log->handler()](const WebSocketEvent& event) {
    const auto* text = event.asText();
    if (text != nullptr && text->text == "question") {
      std::unique_lock lock(mutex);
      handling = true;
      changed.notify_all();
      answerSeenInHandler = changed.wait_for(lock, 5s, [&] { return answered; });
    }
    inner(event);
  });
  socket->send("question");
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, 5s, [&] { return handling; }));
  }
  socket->send("answer");
  {
    std::lock_guard lock(mutex);
    answered = true;
  }
  changed.notify_all();
  ASSERT_TRUE(log->waitFor(2));
  EXPECT_TRUE(answerSeenInHandler);
  EXPECT_EQ(log->events(),
            (std::vector<WebSocketEvent>{WebSocketEvent::text("question"), WebSocketEvent::text("answer")}));
}

TEST_F(WebSocketTransport, PingsAreAnsweredAndHandlersRunOnTheIoThread) {
  std::atomic<bool> onIoThread{false};
  auto socket = open("/echo");
  socket->setOnEvent([&, inner = log->handler()](const WebSocketEvent& event) {
    onIoThread = transport::onIoThread();
    inner(event);
  });
  auto peer = sockets.waitForPeer();
  peer->ping("are you there");
  socket->send("hello");
  ASSERT_TRUE(log->waitFor(1));
  EXPECT_TRUE(testing::eventually([&] { return peer->pongCount() == 1; }));
  EXPECT_EQ(log->events().front(), WebSocketEvent::text("hello"));
  EXPECT_TRUE(onIoThread);
}

TEST_F(WebSocketTransport, ProtocolViolationsCloseWith1002) {
  auto socket = open();
  socket->setOnEvent(log->handler());
  // A close frame whose reason is not UTF-8: refused as a protocol error before any reason is read.
  sockets.waitForPeer()->sendRaw(std::string("\x88\x04\x03\xe8\xff\xfe", 6));
  ASSERT_TRUE(log->waitForClose());
  EXPECT_EQ(log->events().back(), WebSocketEvent::close(1002, "The WebSocket close frame payload was not valid utf8"));
}

TEST_F(WebSocketTransport, DroppingTheLastHandleCutsTheConnection) {
  auto socket = open();
  auto peer = sockets.waitForPeer();
  socket.reset();
  ASSERT_TRUE(peer->waitForEnd(5s));
  EXPECT_EQ(peer->receivedClose(), std::nullopt);
}

TEST(WebSocketCloseReason, BytesDecodeAsUTF8WithReplacements) {
  EXPECT_EQ(decodeCloseReason(std::nullopt), "");
  EXPECT_EQ(decodeCloseReason(std::string_view("bye")), "bye");
  EXPECT_EQ(decodeCloseReason(std::string_view("a\xff"
                                               "b",
                                               3)),
            "a\xEF\xBF\xBD"
            "b");
}

TEST(WebSocketEventValues, EqualityAndHashFollowCaseAndPayload) {
  EXPECT_EQ(WebSocketEvent::close(std::nullopt, "x"), WebSocketEvent::close(std::nullopt, "x"));
  EXPECT_NE(WebSocketEvent::close(1000, "x"), WebSocketEvent::close(std::nullopt, "x"));
  EXPECT_NE(WebSocketEvent::text("a"), WebSocketEvent::binary(velmoria::base::Data{'a'}));
  EXPECT_EQ(WebSocketEvent::text("a").hashValue(), WebSocketEvent::text("a").hashValue());
  EXPECT_NE(WebSocketEvent::text("a").hashValue(), WebSocketEvent::binary(velmoria::base::Data{'a'}).hashValue());
  const auto error = WebSocketError::connection(
      "connection ended unexpectedly", std::make_exception_ptr(helpers::URLError(helpers::URLError::Code::timedOut)));
  EXPECT_EQ(error.localizedDescription(), "connection ended unexpectedly The request timed out.");
  EXPECT_STREQ(error.what(), "connection ended unexpectedly The request timed out.");
}

}  // namespace
}  // namespace zirudeze::realtime
