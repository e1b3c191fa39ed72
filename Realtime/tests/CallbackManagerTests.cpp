#include <gtest/gtest.h>

#include "ChannelTestSupport.hpp"
#include "realtime/CallbackManager.hpp"

namespace zirudeze::realtime {
namespace {

using testing::json;

PostgresJoinConfig binding(std::optional<PostgresChangeEvent> event, std::optional<std::string> table,
                           std::int64_t id = 0, std::optional<std::string> filter = std::nullopt) {
  return PostgresJoinConfig{event, "public", std::move(table), std::move(filter), id};
}

AnyAction insertAction() {
  return AnyAction(
      InsertAction{{}, {}, json(R"({"id":1})"), testing::message("realtime:room", "postgres_changes", "{}")});
}

TEST(CallbackManager, IdsCountUpNeverReusedUntilReset) {
  CallbackManager manager;
  EXPECT_EQ(manager.addBroadcastCallback("a", [](const auto&) {}), 1);
  EXPECT_EQ(manager.addSystemCallback([](const auto&) {}), 2);
  manager.removeCallback(1);
  manager.removeCallback(42);
  EXPECT_EQ(manager.addPresenceCallback([](const auto&) {}), 3);
  ASSERT_EQ(manager.callbacks().size(), 2u);
  EXPECT_EQ(callbackID(manager.callbacks()[0]), 2);
  EXPECT_EQ(callbackID(manager.callbacks()[1]), 3);
  manager.reset();
  EXPECT_TRUE(manager.callbacks().empty());
  EXPECT_EQ(manager.addBroadcastCallback("a", [](const auto&) {}), 1);
}

TEST(CallbackManager, DatabaseChangesReachCallbacksServedByAnAcceptedSubscription) {
  CallbackManager manager;
  std::vector<std::string> calls;
  manager.addPostgresCallback(binding(PostgresChangeEvent::insert, "todos"),
                              [&](const AnyAction&) { calls.push_back("insert"); });
  manager.addPostgresCallback(binding(PostgresChangeEvent::all, "todos"),
                              [&](const AnyAction&) { calls.push_back("all"); });
  manager.addPostgresCallback(binding(PostgresChangeEvent::insert, std::nullopt),
                              [&](const AnyAction&) { calls.push_back("no table"); });
  manager.addPostgresCallback(binding(PostgresChangeEvent::insert, "todos", 0, "id=eq.1"),
                              [&](const AnyAction&) { calls.push_back("filtered"); });

  // The server's "*" serves the insert callback; the "*" callback is not served by a narrower binding.
  manager.setServerChanges(
      {binding(PostgresChangeEvent::all, "todos", 7), binding(PostgresChangeEvent::update, "todos", 8)});
  manager.triggerPostgresChanges({7}, insertAction());
  EXPECT_EQ(calls, (std::vector<std::string>{"insert", "all"}));

  calls.clear();
  manager.triggerPostgresChanges({8}, insertAction());
  EXPECT_TRUE(calls.empty()) << "an update binding serves neither the insert nor the \"*\" callback";

  // Two matching bindings still give one call each; no ids, no calls.
  manager.setServerChanges(
      {binding(PostgresChangeEvent::insert, "todos", 1), binding(PostgresChangeEvent::all, "todos", 2)});
  manager.triggerPostgresChanges({1, 2}, insertAction());
  EXPECT_EQ(calls, (std::vector<std::string>{"insert", "all"}));
  calls.clear();
  manager.triggerPostgresChanges({}, insertAction());
  EXPECT_TRUE(calls.empty());
}

TEST(CallbackManager, BroadcastEventsMatchInAnyCaseOrByStar) {
  CallbackManager manager;
  std::vector<std::string> calls;
  manager.addBroadcastCallback("Cursor-Moved", [&](const auto&) { calls.push_back("named"); });
  manager.addBroadcastCallback("*", [&](const auto&) { calls.push_back("star"); });
  manager.triggerBroadcast("cursor-moved", {});
  manager.triggerBroadcast("CURSOR-MOVED", {});
  manager.triggerBroadcast("other", {});
  EXPECT_EQ(calls, (std::vector<std::string>{"named", "star", "named", "star", "star"}));
}

TEST(CallbackManager, BroadcastEventsMatchUnderUnicodeCaseMappingAndCanonicalEquivalence) {
  CallbackManager manager;
  std::vector<std::string> calls;
  manager.addBroadcastCallback("Café", [&](const auto&) { calls.push_back("café"); });
  manager.addBroadcastCallback("Привет", [&](const auto&) { calls.push_back("cyrillic"); });
  manager.triggerBroadcast("CAFÉ", {});
  manager.triggerBroadcast("cafe\u0301", {});  // é as e and a combining acute
  manager.triggerBroadcast("CAFE", {});
  manager.triggerBroadcast("ПРИВЕТ", {});
  EXPECT_EQ(calls, (std::vector<std::string>{"café", "café", "cyrillic"}));
}

TEST(CallbackManager, EveryPresenceCallbackGetsAnActionOfItsOwn) {
  CallbackManager manager;
  std::vector<const PresenceActionImpl*> seen;
  std::vector<std::size_t> joins;
  for (int i = 0; i < 2; ++i) {
    manager.addPresenceCallback([&](const PresenceActionImpl& action) {
      seen.push_back(&action);
      joins.push_back(action.joins.size());
    });
  }
  const std::map<std::string, PresenceV2> state{{"a", PresenceV2{"r1", {}}}};
  const auto raw = testing::message("realtime:room", "presence_diff", "{}");
  manager.triggerPresenceDiffs(state, {}, raw);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(joins, (std::vector<std::size_t>{1, 1}));
}

TEST(CallbackManager, ACallbackThatRemovesItselfRunsOnceForThatMessageAndNotAgain) {
  CallbackManager manager;
  int calls = 0;
  int later = 0;
  std::int64_t id = 0;
  id = manager.addSystemCallback([&](const RealtimeMessageV2&) {
    ++calls;
    manager.removeCallback(id);
    manager.addSystemCallback([&](const RealtimeMessageV2&) { ++later; });
  });
  const auto raw = testing::message("realtime:room", "system", "{}");
  manager.triggerSystem(raw);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(later, 0) << "a callback added during a dispatch waits for the next message";
  manager.triggerSystem(raw);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(later, 1);
}

TEST(CallbackManager, ReleasingTheRegistryReleasesWhatCallbacksHold) {
  auto held = std::make_shared<int>(0);
  {
    CallbackManager manager;
    manager.addBroadcastCallback("*", [held](const auto&) {});
    EXPECT_EQ(held.use_count(), 2);
  }
  EXPECT_EQ(held.use_count(), 1);
}

}  // namespace
}  // namespace zirudeze::realtime
