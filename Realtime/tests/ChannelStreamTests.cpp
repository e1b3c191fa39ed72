#include <thread>

#include <gtest/gtest.h>

#include "ChannelTestSupport.hpp"
#include "concurrency/Task.hpp"

namespace zirudeze::realtime {
namespace {

using namespace std::chrono_literals;
using testing::ChannelFixture;

RealtimeMessageV2 change(const std::string& type, int id) {
  return testing::message("realtime:room", "postgres_changes",
                          R"({"ids":[1],"data":{"type":")" + type + R"(","record":{"id":)" + std::to_string(id) +
                              R"(},"old_record":{"id":)" + std::to_string(id) +
                              R"(},"columns":[],"commit_timestamp":"2024-05-01T10:00:00Z"}})");
}

std::size_t callbackCount(const RealtimeChannelV2& channel) { return channel.callbackManager()->callbacks().size(); }

TEST(ChannelStreams, ASlowConsumerGetsEveryInsertInOrder) {
  ChannelFixture fixture;
  const auto inserts = fixture.channel->postgresChange<InsertAction>("public", "todos");
  fixture.join(R"([{"id":1,"event":"INSERT","schema":"public","table":"todos"}])");
  constexpr int kChanges = 2000;
  std::thread producer([&] {
    for (int id = 1; id <= kChanges; ++id) fixture.channel->onMessage(change("INSERT", id));
  });
  std::vector<std::int64_t> ids;
  for (int i = 0; i < kChanges; ++i) {
    if (i % 500 == 0) std::this_thread::sleep_for(20ms);
    const auto next = inserts.next();
    ASSERT_TRUE(next);
    ids.push_back(*next->record.at("id").intValue());
  }
  producer.join();
  for (int i = 0; i < kChanges; ++i) ASSERT_EQ(ids[static_cast<std::size_t>(i)], i + 1);
}

TEST(ChannelStreams, EndingAStreamRemovesItsCallback) {
  ChannelFixture fixture;
  std::vector<std::string> others;
  const auto other = fixture.channel->onBroadcast("cursor", [&](const auto&) { others.push_back("other"); });
  std::atomic<int> streamed = 0;
  const concurrency::Task<void> consumer([&] {
    const auto stream = fixture.channel->broadcastStream("cursor");
    while (stream.next()) ++streamed;
  });
  ASSERT_TRUE(testing::eventually([&] { return callbackCount(*fixture.channel) == 2; }));
  const auto broadcast = testing::message("realtime:room", "broadcast", R"({"event":"cursor"})");
  fixture.channel->onMessage(broadcast);
  ASSERT_TRUE(testing::eventually([&] { return streamed == 1; }));
  consumer.cancel();
  consumer.result();
  EXPECT_EQ(callbackCount(*fixture.channel), 1u);
  fixture.channel->onMessage(broadcast);
  EXPECT_EQ(others.size(), 2u);
  EXPECT_EQ(streamed, 1);

  // Dropping a stream that was never read ends it too.
  { const auto dropped = fixture.channel->systemStream(); }
  EXPECT_EQ(callbackCount(*fixture.channel), 1u);
}

TEST(ChannelStreams, AChangeStreamOnAJoinedChannelReportsOnceAndNeverYields) {
  ChannelFixture fixture;
  fixture.join(R"([{"id":1,"event":"*","schema":"public"}])");
  std::optional<concurrency::AsyncStream<AnyAction>> stream;
  const auto issues = testing::reportedIssues([&] { stream = fixture.channel->postgresChange("public"); });
  EXPECT_EQ(issues.size(), 1u);
  fixture.channel->onMessage(change("INSERT", 1));
  std::stop_source stop;
  stop.request_stop();
  EXPECT_FALSE(stream->next(stop.get_token()));
}

TEST(ChannelStreams, KindStreamsKeepTheirKindAndFiltersRegisterTheSameWayBothForms) {
  ChannelFixture fixture;
  const auto deletes =
      fixture.channel->postgresChange<DeleteAction>("public", "todos", RealtimePostgresFilter::eq("id", 5));
  const auto all = fixture.channel->postgresChange<AnyAction>("public", "todos", std::string("id=eq.5"));
  const auto changes = fixture.channel->clientChanges();
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].filter, changes[1].filter);
  EXPECT_EQ(changes[0].filter, "id=eq.5");
  EXPECT_EQ(changes[0].event, PostgresChangeEvent::delete_);
  EXPECT_EQ(changes[1].event, PostgresChangeEvent::all);

  fixture.join(R"([{"id":1,"event":"*","schema":"public","table":"todos","filter":"id=eq.5"},)"
               R"({"id":2,"event":"DELETE","schema":"public","table":"todos","filter":"id=eq.5"}])");
  fixture.channel->onMessage(change("UPDATE", 5));
  fixture.channel->onMessage(change("DELETE", 5));
  const auto first = all.next();
  ASSERT_TRUE(first);
  EXPECT_NE(first->as<UpdateAction>(), nullptr);
  const auto deleted = deletes.next();
  ASSERT_TRUE(deleted);
  EXPECT_EQ(deleted->oldRecord.at("id"), helpers::AnyJSON(5));
}

TEST(ChannelStreams, PresenceAndSystemStreamsCarryTheirMessages) {
  ChannelFixture fixture;
  const auto presence = fixture.channel->presenceChangeStream();
  const auto system = fixture.channel->systemStream();
  const auto alias = fixture.channel->broadcastAsyncStream("*");
  fixture.channel->onMessage(
      testing::message("realtime:room", "presence_state", R"({"a":{"metas":[{"phx_ref":"1"}]}})"));
  fixture.channel->onMessage(testing::message("realtime:room", "system", R"({"status":"ok"})"));
  fixture.channel->onMessage(testing::message("realtime:room", "broadcast", R"({"event":"any"})"));
  EXPECT_EQ(presence.next()->joins.count("a"), 1u);
  EXPECT_EQ(system.next()->event(), "system");
  EXPECT_EQ(alias.next()->at("event"), helpers::AnyJSON("any"));
}

}  // namespace
}  // namespace zirudeze::realtime
