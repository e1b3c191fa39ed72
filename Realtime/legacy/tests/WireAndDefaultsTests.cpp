#include <gtest/gtest.h>

#include "realtime/legacy/Defaults.hpp"
#include "realtime/legacy/Delegated.hpp"
#include "realtime/legacy/RealtimeMessage.hpp"

namespace zirudeze::realtime {
namespace {

std::optional<RealtimeMessage> decoded(std::string_view text) {
  const auto json = Defaults::decode(text);
  return json ? RealtimeMessage::fromJSON(*json) : std::nullopt;
}

TEST(LegacyMessage, ArraysDecodeByPosition) {
  const auto reply = decoded(R"([null,null,"realtime:room","phx_reply",{}])");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->ref, "");
  EXPECT_EQ(reply->joinRef, std::nullopt);
  EXPECT_EQ(reply->topic, "realtime:room");
  EXPECT_EQ(reply->event, "phx_reply");

  // A number is not a text: no join ref.
  const auto numbered = decoded(R"([1,"2","t","e",{},"ignored"])");
  ASSERT_TRUE(numbered);
  EXPECT_EQ(numbered->joinRef, std::nullopt);
  EXPECT_EQ(numbered->ref, "2");

  EXPECT_FALSE(decoded(R"([null,null,"t","e"])"));
  EXPECT_FALSE(decoded(R"([null,null,7,"e",{}])"));
  EXPECT_FALSE(decoded(R"([null,null,"t",false,{}])"));
  EXPECT_FALSE(decoded(R"([null,null,"t","e",[]])"));
  EXPECT_FALSE(decoded(R"({"topic":"t"})"));
  EXPECT_FALSE(Defaults::decode(std::string_view("[null,")));
}

TEST(LegacyMessage, PayloadIsTheResponseObjectAndStatusIsExact) {
  auto message = decoded(R"(["1","2","t","phx_reply",{"status":"ok","response":{"x":1}}])");
  ASSERT_TRUE(message);
  EXPECT_EQ(message->payload(), (helpers::JSONObject{{"x", 1}}));
  EXPECT_EQ(message->status(), PushStatus::ok);

  message = decoded(R"(["1","2","t","phx_reply",{"status":"OK","response":3}])");
  ASSERT_TRUE(message);
  EXPECT_EQ(message->payload(), message->rawPayload);
  EXPECT_EQ(message->status(), std::nullopt);
  EXPECT_EQ(decoded(R"(["1","2","t","e",{"status":"timeout"}])")->status(), PushStatus::timeout);
  EXPECT_EQ(decoded(R"(["1","2","t","e",{"status":1}])")->status(), std::nullopt);
}

TEST(LegacyMessage, LifecycleEventsAndStates) {
  for (const char* event : {"phx_join", "phx_leave", "phx_reply", "phx_error", "phx_close"}) {
    EXPECT_TRUE(ChannelEvent::isLifecycleEvent(event)) << event;
  }
  EXPECT_FALSE(ChannelEvent::isLifecycleEvent("broadcast"));
  EXPECT_FALSE(ChannelEvent::isLifecycleEvent("PHX_JOIN"));
  EXPECT_EQ(makeChannelState("joining"), ChannelState::joining);
  EXPECT_EQ(makeChannelState("Joined"), std::nullopt);
  EXPECT_EQ(rawValue(ChannelState::errored), "errored");
}

TEST(LegacyDefaults, SteppedBackOffs) {
  EXPECT_EQ(Defaults::reconnectSteppedBackOff(1), 0.01);
  EXPECT_EQ(Defaults::reconnectSteppedBackOff(2), 0.05);
  EXPECT_EQ(Defaults::reconnectSteppedBackOff(9), 2.0);
  EXPECT_EQ(Defaults::reconnectSteppedBackOff(10), 5.0);
  EXPECT_EQ(Defaults::reconnectSteppedBackOff(1000), 5.0);
  EXPECT_EQ(Defaults::rejoinSteppedBackOff(1), 1.0);
  EXPECT_EQ(Defaults::rejoinSteppedBackOff(3), 5.0);
  EXPECT_EQ(Defaults::rejoinSteppedBackOff(4), 10.0);
}

TEST(LegacyDefaults, EncodingIsCompactAndDescriptionsAreTheValuesOwn) {
  const auto bytes = Defaults::encode(
      helpers::AnyJSON(helpers::JSONArray{helpers::AnyJSON(), "3", "phoenix", "heartbeat", helpers::JSONObject{}}));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), R"([null,"3","phoenix","heartbeat",{}])");
  EXPECT_THROW(Defaults::encode(helpers::AnyJSON(std::numeric_limits<double>::infinity())), std::exception);

  EXPECT_EQ(describe("text"), "text");
  EXPECT_EQ(describe(42), "42");
  EXPECT_EQ(describe(5.0), "5.0");
  EXPECT_EQ(describe(0.01), "0.01");
  EXPECT_EQ(describe(true), "true");
  EXPECT_EQ(describe(helpers::AnyJSON()), "<null>");
}

struct Target {
  int calls = 0;
};

TEST(LegacyDelegated, WeakTargetsThatAreGoneCallNothing) {
  auto target = std::make_shared<Target>();
  Delegated<int(int)> doubled;
  doubled.bindWeak(std::weak_ptr<Target>(target), [](Target& owner, int value) {
    ++owner.calls;
    return value * 2;
  });
  EXPECT_EQ(doubled.call(4), 8);
  EXPECT_EQ(target->calls, 1);
  target.reset();
  EXPECT_EQ(doubled.call(4), std::nullopt);

  Delegated<void()> unbound;
  EXPECT_FALSE(unbound.isBound());
  EXPECT_FALSE(unbound.call());
  unbound.bindDirect([] {});
  EXPECT_TRUE(unbound.call());
  unbound.unbind();
  EXPECT_FALSE(unbound.isBound());
}

}  // namespace
}  // namespace zirudeze::realtime
