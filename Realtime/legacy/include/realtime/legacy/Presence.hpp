#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "helpers/AnyJSON.hpp"

namespace zirudeze::realtime {

class RealtimeChannel;
class SocketMutex;

// One connection's metadata; the server's reference is its text "phx_ref".
using PresenceMeta = helpers::JSONObject;
// One presence key's entry: its metas under "metas".
using PresenceEntry = std::map<std::string, std::vector<PresenceMeta>>;
using PresenceStateMap = std::map<std::string, PresenceEntry>;
// "joins" and "leaves".
using PresenceDiff = std::map<std::string, PresenceStateMap>;

// A legacy channel's view of who is present: merges the channel's full states and diffs, queues diffs
// that come before the first state of a join, and tells who joined, who left and when it is in sync.
// Entries without "metas", or with a meta whose "phx_ref" is no text, are passed over. Its callbacks run
// as the socket's do (RealtimeClient), once the merge that announces them is over.
class Presence : public std::enable_shared_from_this<Presence> {
  struct Passkey {
    explicit Passkey() = default;
  };

 public:
  enum class Events { state, diff };
  // "state", "diff"; nothing for other text.
  static std::optional<Events> makeEvents(std::string_view rawValue) noexcept;

  struct Options {
    std::map<Events, std::string> events;
    // state: "presence_state", diff: "presence_diff".
    static Options defaults();
  };

  using JoinCallback = std::function<void(const std::string& key, const std::optional<PresenceEntry>& current,
                                          const PresenceEntry& joined)>;
  using LeaveCallback =
      std::function<void(const std::string& key, const PresenceEntry& current, const PresenceEntry& departed)>;
  using SyncCallback = std::function<void()>;
  using Predicate = std::function<bool(const std::string& key, const PresenceEntry& entry)>;

  // Listens to the channel's state and diff events (bound weakly to the presence) unless either event is
  // missing from the options.
  static std::shared_ptr<Presence> make(const std::shared_ptr<RealtimeChannel>& channel,
                                        Options options = Options::defaults());
  Presence(Passkey, const std::shared_ptr<RealtimeChannel>& channel);
  ~Presence();
  Presence(const Presence&) = delete;
  Presence& operator=(const Presence&) = delete;

  void onJoin(JoinCallback callback);
  void onLeave(LeaveCallback callback);
  void onSync(SyncCallback callback);

  PresenceStateMap state() const;
  std::vector<PresenceDiff> pendingDiffs() const;
  std::optional<std::string> joinRef() const;
  // True until a full state of the channel's current join came.
  bool awaitingState() const;

  std::vector<PresenceEntry> list() const;
  template <class Transform>
  auto list(Transform transform) const {
    std::vector<std::invoke_result_t<Transform&, const std::string&, const PresenceEntry&>> out;
    for (const auto& [key, entry] : state()) out.push_back(transform(key, entry));
    return out;
  }
  PresenceStateMap filter(const Predicate& predicate = nullptr) const;

  // The current state with the new one merged in; joined and left metas are announced. Pass the current
  // state as an rvalue to spare a copy of it.
  static PresenceStateMap mergeState(PresenceStateMap current, const PresenceStateMap& newState,
                                     const JoinCallback& onJoin, const LeaveCallback& onLeave);
  // Every join of the diff (older metas kept first), then every leave (a key without metas goes).
  static PresenceStateMap applyDiff(PresenceStateMap state, const PresenceDiff& diff, const JoinCallback& onJoin,
                                    const LeaveCallback& onLeave);
  static PresenceStateMap filter(const PresenceStateMap& state, const Predicate& predicate);

  // A payload read as a state or a diff; nothing when any value is of another shape.
  static std::optional<PresenceStateMap> stateMap(const helpers::JSONObject& payload);
  static std::optional<PresenceDiff> diffMap(const helpers::JSONObject& payload);

 private:
  struct State;

  void listen(const Options& options);
  void handleState(const helpers::JSONObject& payload);
  void handleDiff(const helpers::JSONObject& payload);

  std::unique_ptr<State> state_;
};

}  // namespace zirudeze::realtime
