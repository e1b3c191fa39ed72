#include "LegacyTestSupport.hpp"

namespace zirudeze::realtime::testing {
namespace {

PresenceMeta meta(const std::string& ref, const std::string& device = "desk") {
  return PresenceMeta{{"phx_ref", ref}, {"device", device}};
}

PresenceEntry entry(std::vector<PresenceMeta> metas) { return PresenceEntry{{"metas", std::move(metas)}}; }

std::vector<std::string> refs(const PresenceEntry& given) {
  std::vector<std::string> found;
  for (const auto& one : given.at("metas")) found.push_back(*one.at("phx_ref").stringValue());
  return found;
}

// What the callbacks of a merge said, in order.
struct Announcements {
  std::vector<std::string> lines;

  Presence::JoinCallback onJoin() {
    return [this](const std::string& key, const std::optional<PresenceEntry>& current, const PresenceEntry& joined) {
      lines.push_back("join " + key + " " + (current ? std::to_string(refs(*current).size()) : "new") + " " +
                      refs(joined).front());
    };
  }
  Presence::LeaveCallback onLeave() {
    return [this](const std::string& key, const PresenceEntry& current, const PresenceEntry& departed) {
      lines.push_back("leave " + key + " left " + std::to_string(refs(current).size()) + " gone " +
                      refs(departed).front());
    };
  }
};

TEST(LegacyPresenceMerge, AStateAnnouncesOnlyTheMetasThatChanged) {
  const PresenceStateMap current{{"ada", entry({meta("1"), meta("2")})}};
  const PresenceStateMap received{{"ada", entry({meta("2"), meta("3")})}};
  Announcements said;
  const auto merged = Presence::mergeState(current, received, said.onJoin(), said.onLeave());
  EXPECT_EQ(said.lines, (std::vector<std::string>{"join ada 2 3", "leave ada left 2 gone 1"}));
  EXPECT_EQ(refs(merged.at("ada")), (std::vector<std::string>{"2", "3"}));
}

TEST(LegacyPresenceMerge, JoinsKeepOlderMetasFirstAndLeavesOfTheLastMetaRemoveTheKey) {
  PresenceStateMap state{{"ada", entry({meta("1")})}};
  Announcements said;
  state =
      Presence::applyDiff(state, {{"joins", {{"ada", entry({meta("2", "phone")})}}}}, said.onJoin(), said.onLeave());
  EXPECT_EQ(refs(state.at("ada")), (std::vector<std::string>{"1", "2"}));

  std::optional<PresenceEntry> leftBehind;
  state = Presence::applyDiff(
      state, {{"leaves", {{"ada", entry({meta("1"), meta("2")})}, {"nobody", entry({meta("9")})}}}}, nullptr,
      [&](const std::string&, const PresenceEntry& current, const PresenceEntry&) { leftBehind = current; });
  EXPECT_TRUE(state.empty());
  ASSERT_TRUE(leftBehind);
  EXPECT_TRUE(leftBehind->at("metas").empty());
}

TEST(LegacyPresenceMerge, EveryJoinOfADiffComesBeforeAnyLeave) {
  Announcements said;
  Presence::applyDiff({{"bob", entry({meta("5")})}},
                      {{"leaves", {{"bob", entry({meta("5")})}}}, {"joins", {{"zoe", entry({meta("6")})}}}},
                      said.onJoin(), said.onLeave());
  EXPECT_EQ(said.lines, (std::vector<std::string>{"join zoe new 6", "leave bob left 0 gone 5"}));
}

TEST(LegacyPresenceMerge, MalformedEntriesArePassedOver) {
  Announcements said;
  PresenceEntry withoutMetas{{"others", {meta("1")}}};
  PresenceEntry numberRef = entry({PresenceMeta{{"phx_ref", 7}}});
  const PresenceStateMap current{{"ada", entry({meta("1")})}};
  const auto merged = Presence::mergeState(
      current, {{"ada", withoutMetas}, {"bob", numberRef}, {"cy", entry({meta("3")})}}, said.onJoin(), said.onLeave());
  EXPECT_EQ(said.lines, std::vector<std::string>{"join cy new 3"});
  EXPECT_EQ(merged.size(), 2u);
  EXPECT_EQ(refs(merged.at("ada")), std::vector<std::string>{"1"});
  const auto diffed = Presence::applyDiff(
      merged, {{"leaves", {{"ada", withoutMetas}}}, {"joins", {{"bob", numberRef}}}}, said.onJoin(), said.onLeave());
  EXPECT_EQ(diffed, merged);
}

TEST(LegacyPresenceMerge, PayloadsOfAnotherShapeAreNoStateOrDiff) {
  EXPECT_FALSE(Presence::stateMap({{"ada", "text"}}));
  EXPECT_FALSE(Presence::stateMap({{"ada", helpers::JSONObject{{"metas", helpers::JSONArray{1}}}}}));
  EXPECT_TRUE(Presence::stateMap({{"ada", helpers::JSONObject{{"metas", helpers::JSONArray{}}}}}));
  EXPECT_FALSE(Presence::diffMap({{"joins", helpers::JSONArray{}}}));
  EXPECT_TRUE(Presence::diffMap({{"joins", helpers::JSONObject{}}}));
}

class LegacyPresence : public FakeSocketTest {
 protected:
  void SetUp() override {
    client = makeClient();
    transport = open(*client);
    channel = client->channel("room");
    presence = channel->presence();
    presence->onJoin(said.onJoin());
    presence->onLeave(said.onLeave());
    presence->onSync([this] { ++syncs; });
    channel->subscribe();
  }

  void deliver(const std::string& event, const Json& payload) {
    transport->receive(Json::array({*channel->joinRef(), nullptr, "realtime:room", event, payload}));
  }
  void answerJoin() {
    const auto join = transport->sentOf("phx_join").back();
    transport->receive(Json::array({join[0], join[1], join[2], "phx_reply", {{"status", "ok"}}}));
  }

  std::shared_ptr<RealtimeClient> client;
  std::shared_ptr<FakeSocketTransport> transport;
  std::shared_ptr<RealtimeChannel> channel;
  std::shared_ptr<Presence> presence;
  Announcements said;
  int syncs = 0;
};

TEST_F(LegacyPresence, ADiffBeforeTheStateWaitsForIt) {
  answerJoin();
  EXPECT_TRUE(presence->awaitingState());
  deliver("presence_diff", Json::parse(R"({"joins":{"bob":{"metas":[{"phx_ref":"2"}]}},"leaves":{}})"));
  EXPECT_EQ(presence->pendingDiffs().size(), 1u);
  EXPECT_TRUE(said.lines.empty());
  EXPECT_EQ(syncs, 0);
  deliver("presence_state", Json::parse(R"({"ada":{"metas":[{"phx_ref":"1"}]}})"));
  EXPECT_EQ(said.lines, (std::vector<std::string>{"join ada new 1", "join bob new 2"}));
  EXPECT_EQ(syncs, 1);
  EXPECT_FALSE(presence->awaitingState());
  EXPECT_EQ(presence->list().size(), 2u);
  EXPECT_EQ(channel->presenceSnapshot().size(), 2u);

  deliver("presence_diff", Json::parse(R"({"joins":{},"leaves":{"ada":{"metas":[{"phx_ref":"1"}]}}})"));
  EXPECT_EQ(syncs, 2);
  EXPECT_EQ(presence->filter([](const std::string& key, const PresenceEntry&) { return key == "bob"; }).size(), 1u);
  EXPECT_EQ(presence->list([](const std::string& key, const PresenceEntry&) { return key; }),
            std::vector<std::string>{"bob"});
}

TEST_F(LegacyPresence, ARejoinWaitsForANewStateAgain) {
  answerJoin();
  deliver("presence_state", Json::parse(R"({"ada":{"metas":[{"phx_ref":"1"}]}})"));
  ASSERT_FALSE(presence->awaitingState());
  transport->fail("connection lost");
  advance(0.01);
  transport = transports.last();
  transport->open();
  ASSERT_TRUE(channel->isJoining());
  EXPECT_TRUE(presence->awaitingState());
  answerJoin();
  deliver("presence_diff", Json::parse(R"({"joins":{"bob":{"metas":[{"phx_ref":"2"}]}}})"));
  EXPECT_EQ(presence->pendingDiffs().size(), 1u);
  EXPECT_EQ(syncs, 1);
}

TEST_F(LegacyPresence, APresenceThatIsGoneHearsNothing) {
  answerJoin();
  int otherSyncs = 0;
  auto other = Presence::make(channel);
  other->onSync([&] { ++otherSyncs; });
  other.reset();
  deliver("presence_state", Json::parse(R"({"ada":{"metas":[{"phx_ref":"1"}]}})"));
  EXPECT_EQ(syncs, 1);
  EXPECT_EQ(otherSyncs, 0);
}

}  // namespace
}  // namespace zirudeze::realtime::testing
