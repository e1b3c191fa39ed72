// Callbacks that lock the application's model, send and wait, or disconnect, while the socket goes on.
#include <future>

#include "LegacyTestSupport.hpp"
#include "issuereporting/WithExpectedIssue.hpp"

namespace zirudeze::realtime::testing {
namespace {

Json replyTo(const Json& frame, Json payload) {
  return Json::array({frame[0], frame[1], frame[2], "phx_reply", payload});
}

// Runs `work` on a thread of its own, as a transport delivers. The thread is let go, with what it
// holds, so a socket that wedges fails its test instead of hanging it.
std::future<void> inBackground(std::function<void()> work) {
  std::packaged_task<void()> task(std::move(work));
  auto done = task.get_future();
  std::thread(std::move(task)).detach();
  return done;
}

bool finishes(const std::future<void>& done) { return done.wait_for(10s) == std::future_status::ready; }

// What the callbacks did, in order.
class Trail {
 public:
  void add(std::string step) {
    std::lock_guard lock(mutex_);
    steps_.push_back(std::move(step));
  }
  std::vector<std::string> steps() const {
    std::lock_guard lock(mutex_);
    return steps_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> steps_;
};

std::string text(ChannelResponse response) {
  switch (response) {
    case ChannelResponse::ok:
      return "ok";
    case ChannelResponse::timedOut:
      return "timedOut";
    case ChannelResponse::error:
      return "error";
  }
  return "";
}

// A joined channel with acknowledged broadcasts whose callbacks guard a model of their own, as an
// application's do. Held by shared pointers, so a wedged thread keeps what it uses.
class LegacyCallbacks : public FakeSocketTest {
 protected:
  void SetUp() override {
    client = makeClient();
    transport = open(*client);
    channel = client->channel("room", RealtimeChannelOptions{std::nullopt, false, true});
    channel->subscribe();
    transport->receive(replyTo(transport->sentOf("phx_join").at(0), {{"status", "ok"}, {"response", Json::object()}}));
    ASSERT_TRUE(channel->isJoined());
  }

  Json broadcast(const std::string& event) const {
    return Json::array({*channel->joinRef(), nullptr, "realtime:room", "broadcast", {{"event", event}}});
  }
  // Delivers `frame` from a thread of its own.
  std::future<void> deliver(Json frame) {
    return inBackground([transport = transport, frame = std::move(frame)] { transport->receive(frame); });
  }
  // The first broadcast's callback sends an acknowledged broadcast and waits for it, holding the model;
  // the next one only takes the model.
  void sendFromTheFirstBroadcast(double timeout) {
    channel->on("broadcast", ChannelFilter{"*", {}, {}, {}},
                [model = model, trail = trail, weak = std::weak_ptr<RealtimeChannel>(channel),
                 timeout](const RealtimeMessage& message) {
                  std::lock_guard lock(*model);
                  const auto event = message.payload().at("event");
                  const auto target = weak.lock();
                  if (target && event == helpers::AnyJSON("first")) {
                    trail->add("first " +
                               text(target->send(RealtimeListenTypes::broadcast, "echo", {}, {{"timeout", timeout}})));
                  } else {
                    trail->add(*event.stringValue());
                  }
                });
  }

  std::shared_ptr<RealtimeClient> client;
  std::shared_ptr<FakeSocketTransport> transport;
  std::shared_ptr<RealtimeChannel> channel;
  std::shared_ptr<std::mutex> model = std::make_shared<std::mutex>();
  std::shared_ptr<Trail> trail = std::make_shared<Trail>();
};

TEST_F(LegacyCallbacks, ACallbackThatLocksItsModelAndSendsGetsItsAnswerWhileTheNextMessageWaits) {
  sendFromTheFirstBroadcast(5.0);
  const auto first = deliver(broadcast("first"));
  ASSERT_TRUE(eventually([&] { return transport->sentOf("broadcast").size() == 1; }));
  // Its callback waits for the first one's: the delivery itself does not.
  EXPECT_TRUE(finishes(deliver(broadcast("second"))));
  EXPECT_TRUE(finishes(deliver(replyTo(transport->sentOf("broadcast")[0], {{"status", "ok"}}))));
  EXPECT_TRUE(finishes(first));
  ASSERT_TRUE(eventually([&] { return trail->steps().size() == 2; }));
  EXPECT_EQ(trail->steps(), (std::vector<std::string>{"first ok", "second"}));
  EXPECT_TRUE(finishes(inBackground([client = client] { EXPECT_TRUE(client->isConnected()); })));
}

TEST_F(LegacyCallbacks, ASendInACallbackWhoseReplyNeverComesEndsAtItsTimeout) {
  sendFromTheFirstBroadcast(5.0);
  const auto first = deliver(broadcast("first"));
  ASSERT_TRUE(eventually([&] { return transport->sentOf("broadcast").size() == 1; }));
  EXPECT_TRUE(finishes(deliver(broadcast("second"))));
  advance(4.999);
  EXPECT_TRUE(trail->steps().empty());
  advance(0.001);
  EXPECT_TRUE(finishes(first));
  ASSERT_TRUE(eventually([&] { return trail->steps().size() == 2; }));
  EXPECT_EQ(trail->steps(), (std::vector<std::string>{"first timedOut", "second"}));
  EXPECT_TRUE(finishes(inBackground([channel = channel] { EXPECT_TRUE(channel->isJoined()); })));
}

TEST_F(LegacyCallbacks, ACallbackThatDisconnectsHearsTheCloseOnceItReturns) {
  client->onClose([model = model, trail = trail](int code, const std::optional<std::string>&) {
    std::lock_guard lock(*model);
    trail->add("closed " + std::to_string(code));
  });
  channel->on("broadcast", ChannelFilter{"*", {}, {}, {}},
              [model = model, trail = trail, weak = std::weak_ptr<RealtimeClient>(client)](const RealtimeMessage&) {
                std::lock_guard lock(*model);
                if (const auto socket = weak.lock()) socket->disconnect();
                trail->add("disconnected");
              });
  EXPECT_TRUE(finishes(deliver(broadcast("bye"))));
  ASSERT_TRUE(eventually([&] { return trail->steps().size() == 2; }));
  EXPECT_EQ(trail->steps(), (std::vector<std::string>{"disconnected", "closed 1000"}));
  EXPECT_EQ(transport->disconnects().size(), 1u);
  EXPECT_TRUE(channel->isErrored());
}

TEST_F(LegacyCallbacks, ACallbackThatThrowsIsReportedAndTheOnesAfterItStillRun) {
  channel->on("broadcast", ChannelFilter{"*", {}, {}, {}},
              [](const RealtimeMessage&) { throw std::runtime_error("the model refused"); });
  channel->on("broadcast", ChannelFilter{"*", {}, {}, {}},
              [trail = trail](const RealtimeMessage&) { trail->add("after"); });
  issuereporting::withExpectedIssue(std::nullopt, false, VM_SOURCE_LOCATION(),
                                    [&] { transport->receive(broadcast("refused")); });
  EXPECT_EQ(trail->steps(), std::vector<std::string>{"after"});
  EXPECT_TRUE(channel->isJoined());
}

}  // namespace
}  // namespace zirudeze::realtime::testing
