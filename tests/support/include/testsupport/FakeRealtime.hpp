#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "testsupport/FakeBackend.hpp"
#include "testsupport/FakeWebSockets.hpp"
#include "testsupport/RecordedRequest.hpp"
#include "testsupport/ScriptedResponse.hpp"

namespace velmoria::testsupport {

// One database change the fake service announces to the channels subscribed to it.
struct FakeRealtimeChange {
  std::string type;  // "INSERT", "UPDATE" or "DELETE"
  std::string table;
  nlohmann::ordered_json record = nlohmann::ordered_json::object();
  nlohmann::ordered_json oldRecord = nlohmann::ordered_json::object();
  std::string schema = "public";
};

// The realtime half of the fake backend, speaking the current protocol on FakeWebSockets:
//   "<root>/websocket" takes upgrades whose query has "apikey" and "vsn" "1.0.0" (others get 401);
//   "phoenix" heartbeats are acknowledged; joins are answered with the server's subscription ids, then a
//   "system" ok (with database changes) and the channel's "presence_state" (with presence enabled);
//   "access_token" is acknowledged; broadcasts go to every joined connection ("self" decides about the
//   sender; "ack" gets a reply); presence "track"/"untrack" go out as "presence_diff"; "phx_leave" is
//   answered, then "phx_close" follows;
//   POST "<root>/api/broadcast" fans its messages out and answers 202 (400 with {"error"} for a body it
//   cannot read).
// Tests script changes, silence, closes, TCP drops and odd frames. Safe to use from any thread.
class FakeRealtime {
 public:
  using Json = nlohmann::ordered_json;

  FakeRealtime(FakeBackend& backend, FakeWebSockets& sockets, std::string root = "/realtime/v1");
  ~FakeRealtime();
  FakeRealtime(const FakeRealtime&) = delete;
  FakeRealtime& operator=(const FakeRealtime&) = delete;

  // The service's base URL: the backend's base URL plus the root.
  std::string url() const;

  // Off: heartbeats (or joins) are received but never answered.
  void setAnswersHeartbeats(bool answers);
  void setAnswersJoins(bool answers);
  // On: every upgrade is refused with 401.
  void setRefusesConnections(bool refuses);
  // Every REST broadcast gets this instead of the service's own answer (it is still recorded).
  void respondToBroadcasts(ScriptedResponse response);

  // Sends the change to every joined channel with a matching subscription; the number of messages sent.
  std::size_t sendChange(const FakeRealtimeChange& change);
  // To every open connection.
  void sendText(const std::string& text);
  void sendBinary(const std::string& bytes);
  void close(std::uint16_t code, const std::string& reason);
  void dropConnections();

  // Connections accepted so far, in order; the open ones.
  std::size_t connectionCount() const;
  std::size_t openConnectionCount() const;
  bool waitForConnections(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
  std::shared_ptr<WebSocketPeer> peer(std::size_t connection) const;
  // The messages connection `connection` sent, decoded (frames that are no JSON object are left out).
  std::vector<Json> received(std::size_t connection) const;
  // Every received message with this event, across connections in arrival order.
  std::vector<Json> receivedWithEvent(const std::string& event) const;
  bool waitForEvent(const std::string& event, std::size_t count,
                    std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
  // The REST broadcasts as recorded.
  std::vector<RecordedRequest> broadcastRequests() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace velmoria::testsupport
