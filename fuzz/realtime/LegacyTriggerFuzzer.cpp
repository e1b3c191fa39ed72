// Messages dispatched by a legacy channel with bindings of every kind (plain events, typed filters, database
// changes numbered by a join reply, replies of pushes, close and error): nothing a server sends crashes
// the dispatch, also when a callback changes the bindings while it runs.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "OfflineLegacySocket.hpp"
#include "clocks/TestClock.hpp"
#include "realtime/legacy/Defaults.hpp"
#include "realtime/legacy/RealtimeChannel.hpp"
#include "realtime/legacy/TimerQueue.hpp"

using namespace zirudeze;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);
  const auto json = realtime::Defaults::decode(text);
  const auto message = json ? realtime::RealtimeMessage::fromJSON(*json) : std::nullopt;
  if (!message) return 0;

  // Timers on a clock of this input's own, so nothing outlives it.
  const realtime::TimerQueue::ScopedOverride timers(std::make_shared<clocks::TestClock>());
  const auto socket = zirudeze::fuzzing::offlineSocket();
  const auto channel = socket->channel(message->topic.rfind("realtime:", 0) == 0 ? message->topic.substr(9) : "room");
  int calls = 0;
  const auto count = [&](const realtime::RealtimeMessage&) { ++calls; };
  using Filter = realtime::ChannelFilter;
  channel->on("broadcast", Filter{"*", {}, {}, {}}, count);
  channel->on("broadcast", Filter{"typing", {}, {}, {}}, count);
  channel->on("presence", Filter{"sync", {}, {}, {}}, count);
  channel->on("postgres_changes", Filter{"*", "public", "rows", {}}, count);
  channel->on("postgres_changes", Filter{"insert", "public", "rows", {}}, count);
  channel->on("postgres_changes", Filter{"update", "public", "notes", "id=eq.1"}, count);
  channel->on("postgres_changes", Filter{{}, "public", {}, {}}, count);
  channel->onClose(count);
  channel->onError(count);
  channel->on(message->event, Filter{}, [&](const realtime::RealtimeMessage& seen) {
    ++calls;
    channel->off(seen.event, {});
    channel->on("broadcast", Filter{}, count);
  });
  channel->subscribe();
  const auto joinRef = channel->joinRef();
  channel->trigger(realtime::RealtimeMessage{
      *joinRef, joinRef, channel->topic(), "phx_reply",
      helpers::JSONObject{
          {"status", "ok"},
          {"response",
           helpers::JSONObject{
               {"postgres_changes",
                helpers::JSONArray{
                    helpers::JSONObject{{"id", 11}, {"event", "*"}, {"schema", "public"}, {"table", "rows"}},
                    helpers::JSONObject{{"id", 12}, {"event", "insert"}, {"schema", "public"}, {"table", "rows"}},
                    helpers::JSONObject{{"id", 13},
                                        {"event", "update"},
                                        {"schema", "public"},
                                        {"table", "notes"},
                                        {"filter", "id=eq.1"}},
                    helpers::JSONObject{{"id", 14}, {"schema", "public"}},
                }}}}}});
  channel->push("note", {});
  channel->trigger(*message);
  // The same message as one of this channel's own join.
  auto own = *message;
  own.joinRef = channel->joinRef();
  channel->trigger(own);
  own.ref = own.joinRef.value_or("");
  channel->trigger(own);
  socket->removeAllChannels();
  (void)calls;
  return 0;
}
