#include <algorithm>
#include <random>
#include <set>

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

TEST(LegacyPresenceMerge, AMergeStartedFromACallbackLeavesTheOuterMergeAsItWas) {
  const PresenceStateMap current{{"ada", entry({meta("1"), meta("2")})}, {"bob", entry({meta("5")})}};
  const PresenceStateMap received{{"ada", entry({meta("2"), meta("3")})}};
  Announcements outer;
  Announcements inner;
  PresenceStateMap innerMerged;
  const auto join = outer.onJoin();
  const auto merged = Presence::mergeState(
      current, received,
      [&](const std::string& key, const std::optional<PresenceEntry>& before, const PresenceEntry& joined) {
        join(key, before, joined);
        innerMerged = Presence::mergeState({{"cy", entry({meta("7"), meta("8")})}}, {{"cy", entry({meta("8")})}},
                                           inner.onJoin(), inner.onLeave());
      },
      outer.onLeave());
  EXPECT_EQ(outer.lines,
            (std::vector<std::string>{"join ada 2 3", "leave ada left 2 gone 1", "leave bob left 0 gone 5"}));
  EXPECT_EQ(inner.lines, std::vector<std::string>{"leave cy left 1 gone 7"});
  EXPECT_EQ(refs(merged.at("ada")), (std::vector<std::string>{"2", "3"}));
  EXPECT_EQ(merged.count("bob"), 0U);
  EXPECT_EQ(refs(innerMerged.at("cy")), std::vector<std::string>{"8"});
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

TEST(LegacyPresenceMerge, AKeyThatJoinsAndLeavesInOneDiffLeavesFromWhatTheJoinMade) {
  Announcements said;
  const auto state = Presence::applyDiff(
      {{"ada", entry({meta("1"), meta("2")})}, {"bob", entry({meta("5")})}},
      {{"joins", {{"ada", entry({meta("3")})}}}, {"leaves", {{"ada", entry({meta("1"), meta("3")})}}}}, said.onJoin(),
      said.onLeave());
  EXPECT_EQ(said.lines, (std::vector<std::string>{"join ada 2 3", "leave ada left 1 gone 1"}));
  EXPECT_EQ(refs(state.at("ada")), std::vector<std::string>{"2"});
  EXPECT_EQ(refs(state.at("bob")), std::vector<std::string>{"5"});
}

// A meta that joins is made in the storage of one that left before it; with a field more or one less it
// still holds exactly its own fields.
TEST(LegacyPresenceMerge, AJoiningMetaOfOtherFieldsThanTheOneThatLeftKeepsItsOwn) {
  const PresenceMeta wider{{"device", "phone"}, {"phx_ref", "2"}, {"status", "away"}};
  const PresenceMeta narrower{{"phx_ref", "3"}};
  PresenceStateMap state = Presence::mergeState({{"ada", entry({meta("1")})}}, {}, nullptr, nullptr);
  state = Presence::applyDiff(std::move(state), {{"joins", {{"bob", entry({wider})}}}}, nullptr, nullptr);
  EXPECT_EQ(state, (PresenceStateMap{{"bob", entry({wider})}}));
  state = Presence::applyDiff(std::move(state), {{"leaves", {{"bob", entry({wider})}}}}, nullptr, nullptr);
  state = Presence::applyDiff(std::move(state), {{"joins", {{"cy", entry({narrower})}}}}, nullptr, nullptr);
  EXPECT_EQ(state, (PresenceStateMap{{"cy", entry({narrower})}}));
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

// A plain reading of the merge, slow and literal: refs compared as sets, entries copied at every step,
// malformed join or leave entries (no "metas", or a meta without a text "phx_ref") passed over.
namespace plain {

const std::string* refOf(const PresenceMeta& one) {
  const auto found = one.find("phx_ref");
  return found == one.end() ? nullptr : found->second.stringValue();
}
std::vector<PresenceMeta> metasOf(const PresenceEntry& given) {
  const auto found = given.find("metas");
  return found == given.end() ? std::vector<PresenceMeta>{} : found->second;
}
std::set<std::string> refSet(const std::vector<PresenceMeta>& metas) {
  std::set<std::string> found;
  for (const auto& one : metas)
    if (const auto* ref = refOf(one)) found.insert(*ref);
  return found;
}
bool among(const PresenceMeta& one, const std::set<std::string>& refs) {
  const auto* ref = refOf(one);
  return ref && refs.contains(*ref);
}
bool wellFormed(const PresenceEntry& given) {
  const auto found = given.find("metas");
  return found != given.end() &&
         std::all_of(found->second.begin(), found->second.end(), [](const auto& one) { return refOf(one); });
}
PresenceEntry withMetas(PresenceEntry given, std::vector<PresenceMeta> metas) {
  given["metas"] = std::move(metas);
  return given;
}

PresenceStateMap applyDiff(PresenceStateMap state, const PresenceDiff& diff, const Presence::JoinCallback& onJoin,
                           const Presence::LeaveCallback& onLeave) {
  const auto section = [&](const char* name) {
    const auto found = diff.find(name);
    return found == diff.end() ? PresenceStateMap{} : found->second;
  };
  for (const auto& [key, joined] : section("joins")) {
    if (!wellFormed(joined)) continue;
    std::optional<PresenceEntry> before;
    if (state.contains(key)) before = state.at(key);
    state[key] = joined;
    if (before) {
      std::vector<PresenceMeta> metas;
      for (const auto& one : metasOf(*before))
        if (!among(one, refSet(metasOf(joined)))) metas.push_back(one);
      for (const auto& one : metasOf(joined)) metas.push_back(one);
      state[key] = withMetas(joined, metas);
    }
    onJoin(key, before, joined);
  }
  for (const auto& [key, departed] : section("leaves")) {
    if (!wellFormed(departed) || !state.contains(key)) continue;
    std::vector<PresenceMeta> kept;
    for (const auto& one : metasOf(state.at(key)))
      if (!among(one, refSet(metasOf(departed)))) kept.push_back(one);
    state[key] = withMetas(state.at(key), kept);
    onLeave(key, state.at(key), departed);
    if (kept.empty()) state.erase(key);
  }
  return state;
}

PresenceStateMap mergeState(const PresenceStateMap& current, const PresenceStateMap& received,
                            const Presence::JoinCallback& onJoin, const Presence::LeaveCallback& onLeave) {
  PresenceStateMap joins;
  PresenceStateMap leaves;
  for (const auto& [key, held] : current)
    if (!received.contains(key)) leaves[key] = held;
  for (const auto& [key, given] : received) {
    if (!wellFormed(given)) continue;
    if (!current.contains(key)) {
      joins[key] = given;
      continue;
    }
    const PresenceEntry& held = current.at(key);
    std::vector<PresenceMeta> joined;
    std::vector<PresenceMeta> left;
    for (const auto& one : metasOf(given))
      if (!among(one, refSet(metasOf(held)))) joined.push_back(one);
    for (const auto& one : metasOf(held))
      if (!among(one, refSet(metasOf(given)))) left.push_back(one);
    if (!joined.empty()) joins[key] = withMetas(given, joined);
    if (!left.empty()) leaves[key] = withMetas(held, left);
  }
  return applyDiff(current, {{"joins", joins}, {"leaves", leaves}}, onJoin, onLeave);
}

}  // namespace plain

// Random states over few refs, so that metas often meet, and by default few keys; now and then an entry
// or meta of the malformed kinds, an entry with a list besides "metas", and metas that differ only past
// the ref. Wide states (many keys, most of them in each) with small diffs have the walks run far ahead
// and skip far.
class RandomPresence {
 public:
  RandomPresence() = default;
  RandomPresence(int keys, int most, int mostInDiff) : keys_(keys), most_(most), mostInDiff_(mostInDiff) {}

  PresenceStateMap state() { return state(most_); }
  PresenceDiff diff() { return {{"joins", state(mostInDiff_)}, {"leaves", state(mostInDiff_)}}; }

 private:
  PresenceStateMap state(int most) {
    PresenceStateMap made;
    for (int i = pick(most); i > 0; --i) made["k" + std::to_string(pick(keys_))] = entry();
    return made;
  }
  int pick(int below) { return std::uniform_int_distribution<int>(0, below - 1)(random_); }
  PresenceEntry entry() {
    std::vector<PresenceMeta> metas;
    for (int i = pick(4); i > 0; --i) {
      PresenceMeta one{{"v", pick(3)}};
      if (pick(20) == 0) {
        one["phx_ref"] = pick(6);
      } else if (pick(30) != 0) {
        one["phx_ref"] = std::to_string(pick(6));
      }
      metas.push_back(std::move(one));
    }
    if (pick(25) == 0) return PresenceEntry{{"others", metas}};
    PresenceEntry made{{"metas", metas}};
    if (pick(15) == 0) made["extra"] = {PresenceMeta{{"x", pick(2)}}};
    return made;
  }

  int keys_ = 6;
  int most_ = 5;
  int mostInDiff_ = 5;
  std::mt19937 random_{20240305};
};

// Every argument of every callback, in order.
struct Transcript {
  std::vector<std::string> lines;

  static std::string text(const PresenceEntry& given) {
    helpers::JSONObject object;
    for (const auto& [key, metas] : given) object[key] = helpers::JSONArray(metas.begin(), metas.end());
    return describe(helpers::AnyJSON(object));
  }
  Presence::JoinCallback onJoin() {
    return [this](const std::string& key, const std::optional<PresenceEntry>& before, const PresenceEntry& joined) {
      lines.push_back("join " + key + " " + (before ? text(*before) : "none") + " " + text(joined));
    };
  }
  Presence::LeaveCallback onLeave() {
    return [this](const std::string& key, const PresenceEntry& current, const PresenceEntry& departed) {
      lines.push_back("leave " + key + " " + text(current) + " " + text(departed));
    };
  }
};

void expectAgreement(RandomPresence& random, int rounds) {
  for (int round = 0; round < rounds; ++round) {
    const PresenceStateMap current = random.state();
    const PresenceStateMap received = random.state();
    Transcript fast;
    Transcript slow;
    EXPECT_EQ(Presence::mergeState(current, received, fast.onJoin(), fast.onLeave()),
              plain::mergeState(current, received, slow.onJoin(), slow.onLeave()));
    const PresenceDiff diff = random.diff();
    EXPECT_EQ(Presence::applyDiff(current, diff, fast.onJoin(), fast.onLeave()),
              plain::applyDiff(current, diff, slow.onJoin(), slow.onLeave()));
    ASSERT_EQ(fast.lines, slow.lines) << "round " << round;
  }
}

// Each merge and diff runs after others on the same thread, so its copies are made in the metas that
// left those.
TEST(LegacyPresenceMerge, MergesAndDiffsAgreeWithAPlainReadingOnRandomStates) {
  RandomPresence narrow;
  expectAgreement(narrow, 1500);
  RandomPresence wide(300, 200, 30);
  expectAgreement(wide, 60);
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
