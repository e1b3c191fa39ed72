#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "testsupport/FakeBackend.hpp"
#include "testsupport/FakeWebSockets.hpp"
#include "testsupport/RecordedRequest.hpp"

namespace velmoria::testsupport {

// The realtime service's legacy half on a FakeBackend: "<root>/websocket" speaks the array protocol
// ([join_ref, ref, topic, event, payload] text frames) and "<root>/api/broadcast" takes REST broadcasts.
//
// Unless scripted otherwise it replies by ref to every push: heartbeats ("phoenix") with {"status": "ok"},
// joins with "ok" and the join's "postgres_changes" echoed with ids assigned from 11 on (then the topic's
// "presence_state"), leaves, "access_token" and presence with "ok"; a "broadcast" reaches the other
// connections joined to its topic (and the sender when its join said "self"), with an "ok" reply when the
// join said "ack"; a presence "track"/"untrack" reaches every connection of the topic as a
// "presence_diff". Safe from any thread.
class FakeLegacyRealtime {
 public:
  using Json = nlohmann::json;

  // One frame a client sent, decoded; `connection` counts accepted connections from 0.
  struct Frame {
    std::size_t connection = 0;
    Json joinRef;  // string or null
    Json ref;
    std::string topic;
    std::string event;
    Json payload;
  };

  // The reply payload to a join ({"status", "response"}), or nothing to leave it unanswered.
  using JoinReply = std::function<std::optional<Json>(const std::string& topic, const Json& joinPayload)>;

  FakeLegacyRealtime(FakeBackend& backend, FakeWebSockets& sockets, std::string root = "/realtime/v1");
  ~FakeLegacyRealtime();
  FakeLegacyRealtime(const FakeLegacyRealtime&) = delete;
  FakeLegacyRealtime& operator=(const FakeLegacyRealtime&) = delete;

  // The endpoint a client is made with: the backend's base URL and the root.
  std::string url() const;

  // Off, heartbeats get no reply.
  void answerHeartbeats(bool answer);
  // The connections open now fall silent: the next frame each receives is kept but not answered, and
  // from then on it reads nothing more (not even a close frame) until the fake is destroyed.
  void stopReading();
  void setJoinReply(JoinReply reply);
  // The default join reply: ok, with the join's "postgres_changes" echoed and ids assigned.
  static Json echoedJoinReply(const Json& joinPayload, std::int64_t firstID);
  // The status REST broadcasts get (202 unless set).
  void setBroadcastStatus(unsigned status);

  // A message to every connection joined to `topic`: [join_ref, null, topic, event, payload].
  void sendToTopic(const std::string& topic, const std::string& event, Json payload);
  // Raw text to one connection.
  void sendText(std::size_t connection, std::string text);
  // Every open connection gets a close frame, or loses its TCP connection without one.
  void closeConnections(std::uint16_t code, std::string reason);
  void dropConnections();

  std::vector<Frame> frames() const;
  // The frames of one event, in arrival order.
  std::vector<Frame> framesOf(const std::string& event) const;
  // Waits until `count` frames of `event` arrived.
  bool waitForFrames(const std::string& event, std::size_t count,
                     std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
  std::size_t connectionCount() const;
  // Connections whose TCP connection is still up.
  std::size_t openConnectionCount() const;
  bool waitForConnections(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
  std::vector<RecordedRequest> upgrades() const;
  std::vector<RecordedRequest> broadcasts() const;

  struct State;

 private:
  FakeBackend& backend_;
  FakeWebSockets& sockets_;
  const std::string root_;
  std::shared_ptr<State> state_;
};

}  // namespace velmoria::testsupport
