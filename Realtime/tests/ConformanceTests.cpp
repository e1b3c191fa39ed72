// The transports against two independent, strict WebSocket servers: they refuse unmasked or
// non-UTF-8 client frames, so every exchange that works shows both.
#include <gtest/gtest.h>

#include "TransportTestSupport.hpp"
#include "realtime/legacy/URLSessionTransport.hpp"
#include "testsupport/ChildProcess.hpp"

namespace zirudeze::realtime {
namespace {

using namespace std::chrono_literals;
using testing::EventLog;
using testing::url;
using velmoria::testsupport::ChildProcess;

struct Peer {
  const char* name;
  std::vector<std::string> command;
  std::vector<std::pair<std::string, std::string>> environment;
};

void PrintTo(const Peer& peer, std::ostream* out) { *out << peer.name; }

const Peer kPeers[] = {
    {"python", {"/usr/bin/python3", VELMORIA_PEERS_DIR "/websockets_peer.py"}, {}},
    {"node", {"/usr/bin/node", VELMORIA_PEERS_DIR "/ws_peer.js"}, {{"NODE_PATH", "/usr/share/nodejs"}}},
};

class Conformance : public ::testing::TestWithParam<Peer> {
 protected:
  void SetUp() override {
    peer_ = std::make_unique<ChildProcess>(GetParam().command, GetParam().environment);
    const auto line = peer_->readLine(15s);
    ASSERT_TRUE(line && line->rfind("PORT ", 0) == 0) << GetParam().name << " peer did not start";
    base_ = "ws://127.0.0.1:" + line->substr(5);
  }

  std::shared_ptr<URLSessionWebSocket> open(const std::string& path) {
    auto socket = URLSessionWebSocket::connect(url(base_ + path), std::nullopt, testing::quickConfiguration());
    socket->setOnEvent(log->handler());
    return socket;
  }

  // The peer's next line that starts with `prefix`, without it.
  std::string peerLine(const std::string& prefix) {
    while (auto line = peer_->readLine(20s)) {
      if (line->rfind(prefix, 0) == 0) return line->substr(prefix.size());
    }
    ADD_FAILURE() << "the peer never said " << prefix;
    return "";
  }

  std::string base_;
  std::unique_ptr<ChildProcess> peer_;
  std::shared_ptr<EventLog> log = std::make_shared<EventLog>();
};

TEST_P(Conformance, TextOfEverySizeRoundTripsWithoutCompression) {
  auto socket = open("/echo");
  EXPECT_EQ(peerLine("EXT /echo "), "none");
  const std::string large(100 * 1024, 'L');
  const std::string huge = std::string(1024 * 1024, 'H') + "\xC3\xA9";
  socket->send("small");
  socket->send(large);
  socket->send(huge);
  socket->send("");
  ASSERT_TRUE(log->waitFor(4, 20s));
  EXPECT_EQ(log->events(), (std::vector<WebSocketEvent>{WebSocketEvent::text("small"), WebSocketEvent::text(large),
                                                        WebSocketEvent::text(huge), WebSocketEvent::text("")}));
  socket->close(1000, "done");
  ASSERT_TRUE(log->waitForClose(10s));
  EXPECT_EQ(peerLine("CLOSE /echo "), "1000 done");
}

TEST_P(Conformance, FragmentedMessagesAreReassembled) {
  auto socket = open("/fragmented");
  ASSERT_TRUE(log->waitFor(3, 10s));
  const auto events = log->events();
  EXPECT_EQ(events[0], WebSocketEvent::text("Hello, world"));
  EXPECT_EQ(events[1], WebSocketEvent::binary(velmoria::base::Data{0, 1, 2}));
  EXPECT_EQ(events[2], WebSocketEvent::text(std::string(70000, 'x')));
}

TEST_P(Conformance, PingsAreAnsweredWithPongs) {
  auto socket = open("/ping");
  ASSERT_TRUE(log->waitFor(1, 10s));
  EXPECT_EQ(log->events().front(), WebSocketEvent::text("pong received"));
}

TEST_P(Conformance, CloseCodesAndReasonsRoundTripBothWays) {
  {
    auto socket = open("/echo");
    const std::string reason(123, 'r');
    socket->close(4001, reason);
    ASSERT_TRUE(log->waitForClose(10s));
    EXPECT_EQ(peerLine("CLOSE /echo "), "4001 " + reason);
  }
  log = std::make_shared<EventLog>();
  auto socket = open("/close?code=4002&reason=server%20bye");
  ASSERT_TRUE(log->waitForClose(10s));
  EXPECT_EQ(log->events().back(), WebSocketEvent::close(4002, "server bye"));
}

TEST_P(Conformance, AMessageOverTheLimitClosesWith1009) {
  auto socket = open("/too-big");
  ASSERT_TRUE(log->waitForClose(30s));
  EXPECT_EQ(log->events().back().asClose()->code, 1006);
  EXPECT_EQ(peerLine("CLOSE /too-big ").substr(0, 4), "1009");
}

TEST_P(Conformance, InvalidUTF8TextClosesWith1007) {
  auto socket = open("/invalid-utf8");
  ASSERT_TRUE(log->waitForClose(10s));
  EXPECT_EQ(log->events().back(), WebSocketEvent::close(1002, "The WebSocket frame payload was not valid utf8"));
  EXPECT_EQ(peerLine("CLOSE /invalid-utf8 ").substr(0, 4), "1007");
}

class LegacyDelegate : public SocketTransportDelegate {
 public:
  void onOpen(const std::optional<helpers::HTTPURLResponse>&) override { add("open"); }
  void onError(const std::exception_ptr& error, const std::optional<helpers::HTTPURLResponse>&) override {
    add("error " + localizedDescription(error));
  }
  void onMessage(const std::string& message) override { add("message " + message); }
  void onClose(int code, const std::optional<std::string>& reason) override {
    add("close " + std::to_string(code) + " " + reason.value_or("<none>"));
  }

  bool waitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 10s, [&] { return reports_.size() >= count; });
  }
  std::vector<std::string> reports() {
    std::lock_guard lock(mutex_);
    return reports_;
  }

 private:
  void add(std::string report) {
    {
      std::lock_guard lock(mutex_);
      reports_.push_back(std::move(report));
    }
    changed_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> reports_;
};

TEST_P(Conformance, TheLegacyTransportExchangesTextAndCloses) {
  auto delegate = std::make_shared<LegacyDelegate>();
  URLSessionTransport transport(url("http" + base_.substr(2) + "/echo"), testing::quickConfiguration());
  transport.setDelegate(delegate);
  transport.connect({{"apikey", "key"}});
  transport.send(velmoria::base::dataFromString(R"(["1","1","phoenix","heartbeat",{}])"));
  ASSERT_TRUE(delegate->waitFor(2));
  transport.disconnect(1000, std::nullopt);
  ASSERT_TRUE(delegate->waitFor(3));
  EXPECT_EQ(delegate->reports(),
            (std::vector<std::string>{"open", R"(message ["1","1","phoenix","heartbeat",{}])", "close 1000 <none>"}));
  EXPECT_EQ(peerLine("CLOSE /echo "), "1000 ");
}

INSTANTIATE_TEST_SUITE_P(Peers, Conformance, ::testing::ValuesIn(kPeers),
                         [](const ::testing::TestParamInfo<Peer>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zirudeze::realtime
