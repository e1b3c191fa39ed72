#include "testsupport/FakeLegacyRealtime.hpp"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

namespace velmoria::testsupport {

namespace {

using Json = FakeLegacyRealtime::Json;

std::string frameText(const Json& joinRef, const Json& ref, const std::string& topic, const std::string& event,
                      const Json& payload) {
  return Json::array({joinRef, ref, topic, event, payload}).dump();
}

Json okReply(Json response = Json::object()) { return Json{{"status", "ok"}, {"response", std::move(response)}}; }

const Json* member(const Json& object, const char* key) {
  if (!object.is_object()) return nullptr;
  const auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

bool configFlag(const Json& joinPayload, const char* section, const char* flag) {
  const Json* config = member(joinPayload, "config");
  const Json* settings = config ? member(*config, section) : nullptr;
  const Json* value = settings ? member(*settings, flag) : nullptr;
  return value && value->is_boolean() && value->get<bool>();
}

std::string presenceKey(const Json& joinPayload) {
  const Json* config = member(joinPayload, "config");
  const Json* presence = config ? member(*config, "presence") : nullptr;
  const Json* key = presence ? member(*presence, "key") : nullptr;
  return key && key->is_string() ? key->get<std::string>() : std::string();
}

}  // namespace

struct FakeLegacyRealtime::State {
  struct Joined {
    Json joinRef;
    Json payload;
    std::optional<std::string> trackedRef;  // the phx_ref of this connection's tracked presence
  };
  struct Connection {
    std::size_t index = 0;
    std::shared_ptr<WebSocketPeer> peer;
    std::map<std::string, Joined> joined;
  };

  explicit State(FakeWebSockets& webSockets) : sockets(webSockets) {}

  FakeWebSockets& sockets;
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::vector<Frame> frames;
  std::map<const void*, Connection> connections;
  std::vector<RecordedRequest> broadcasts;
  bool answerHeartbeats = true;
  // Connections that stop reading at their next frame, and whether the fake is ending.
  std::set<const void*> silenced;
  bool ending = false;
  JoinReply joinReply;
  unsigned broadcastStatus = 202;
  std::int64_t nextID = 11;
  std::uint64_t nextPresenceRef = 1;
  // Who is tracked on each topic: key to metas.
  std::map<std::string, Json> presence;

  // The connection of `peer`, counted in accept order.
  Connection& connectionOf(WebSocketPeer& peer) {
    auto found = connections.find(peer.id());
    if (found != connections.end()) return found->second;
    const auto peers = sockets.peers();
    std::size_t index = 0;
    std::shared_ptr<WebSocketPeer> handle;
    for (std::size_t i = 0; i < peers.size(); ++i) {
      if (peers[i]->id() == peer.id()) {
        index = i;
        handle = peers[i];
      }
    }
    return connections.emplace(peer.id(), Connection{index, handle, {}}).first->second;
  }

  void toTopic(const std::string& topic, const std::string& event, const Json& payload, const void* except) {
    for (auto& [id, connection] : connections) {
      if (id == except || !connection.peer || connection.peer->ended()) continue;
      const auto joined = connection.joined.find(topic);
      if (joined == connection.joined.end()) continue;
      connection.peer->sendText(frameText(joined->second.joinRef, nullptr, topic, event, payload));
    }
  }

  void receive(WebSocketPeer& peer, const std::string& text) {
    const Json array = Json::parse(text, nullptr, false);
    if (!array.is_array() || array.size() < 5 || !array[2].is_string() || !array[3].is_string()) return;
    bool silent = false;
    {
      std::lock_guard lock(mutex);
      Connection& connection = connectionOf(peer);
      Frame frame{connection.index, array[0], array[1], array[2].get<std::string>(), array[3].get<std::string>(),
                  array[4]};
      frames.push_back(frame);
      silent = silenced.contains(peer.id());
      if (!silent) handle(peer, connection, frame);
    }
    changed.notify_all();
    if (!silent) return;
    // Holding the connection's thread here is what keeps the peer from reading on.
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return ending; });
  }

  void reply(WebSocketPeer& peer, const Frame& frame, const Json& payload) {
    peer.sendText(frameText(frame.joinRef, frame.ref, frame.topic, "phx_reply", payload));
  }

  void handle(WebSocketPeer& peer, Connection& connection, const Frame& frame) {
    if (frame.event == "heartbeat") {
      if (answerHeartbeats) reply(peer, frame, okReply());
      return;
    }
    if (frame.event == "phx_join") {
      connection.joined[frame.topic] = Joined{frame.joinRef, frame.payload, std::nullopt};
      std::optional<Json> answer;
      if (joinReply) {
        answer = joinReply(frame.topic, frame.payload);
      } else {
        answer = echoedJoinReply(frame.payload, nextID);
        const Json* changes = member((*answer)["response"], "postgres_changes");
        nextID += changes ? static_cast<std::int64_t>(changes->size()) : 0;
      }
      if (answer) reply(peer, frame, *answer);
      if (answer && (*answer)["status"] == "ok") {
        const auto tracked = presence.find(frame.topic);
        const Json state = tracked == presence.end() ? Json::object() : tracked->second;
        peer.sendText(frameText(frame.joinRef, nullptr, frame.topic, "presence_state", state));
      }
      return;
    }
    if (frame.event == "phx_leave") {
      connection.joined.erase(frame.topic);
      reply(peer, frame, okReply());
      return;
    }
    const auto joined = connection.joined.find(frame.topic);
    if (frame.event == "broadcast") {
      const bool self = joined != connection.joined.end() && configFlag(joined->second.payload, "broadcast", "self");
      toTopic(frame.topic, "broadcast", frame.payload, self ? nullptr : peer.id());
      if (joined != connection.joined.end() && configFlag(joined->second.payload, "broadcast", "ack")) {
        reply(peer, frame, okReply());
      }
      return;
    }
    if (frame.event == "presence" && joined != connection.joined.end()) {
      std::string key = presenceKey(joined->second.payload);
      if (key.empty()) key = "connection-" + std::to_string(connection.index);
      const Json* kind = member(frame.payload, "event");
      Json diff{{"joins", Json::object()}, {"leaves", Json::object()}};
      if (kind && *kind == "track") {
        Json meta = Json::object();
        if (const Json* given = member(frame.payload, "payload"); given && given->is_object()) meta = *given;
        meta["phx_ref"] = "P" + std::to_string(nextPresenceRef++);
        joined->second.trackedRef = meta["phx_ref"].get<std::string>();
        diff["joins"][key] = Json{{"metas", Json::array({meta})}};
        Json& metas = presence[frame.topic][key]["metas"];
        if (!metas.is_array()) metas = Json::array();
        metas.push_back(meta);
      } else if (kind && *kind == "untrack" && joined->second.trackedRef) {
        const std::string ref = *joined->second.trackedRef;
        diff["leaves"][key] = Json{{"metas", Json::array({Json{{"phx_ref", ref}}})}};
        joined->second.trackedRef.reset();
        Json& topicState = presence[frame.topic];
        if (topicState.contains(key)) {
          Json& metas = topicState[key]["metas"];
          Json kept = Json::array();
          for (const auto& meta : metas)
            if (meta.value("phx_ref", "") != ref) kept.push_back(meta);
          if (kept.empty()) {
            topicState.erase(key);
          } else {
            metas = kept;
          }
        }
      }
      reply(peer, frame, okReply());
      toTopic(frame.topic, "presence_diff", diff, nullptr);
      return;
    }
    reply(peer, frame, okReply());
  }
};

FakeLegacyRealtime::FakeLegacyRealtime(FakeBackend& backend, FakeWebSockets& sockets, std::string root)
    : backend_(backend), sockets_(sockets), root_(std::move(root)), state_(std::make_shared<State>(sockets)) {
  WebSocketRouteOptions options;
  // Weakly: every connection keeps its route's options, and the state keeps the connections.
  options.onText = [weak = std::weak_ptr<State>(state_)](WebSocketPeer& peer, const std::string& text) {
    if (const auto state = weak.lock()) state->receive(peer, text);
  };
  sockets_.route(root_ + "/websocket", std::move(options));
  backend_.route("POST", root_ + "/api/broadcast", [state = state_](const RecordedRequest& request) {
    unsigned status = 0;
    {
      std::lock_guard lock(state->mutex);
      state->broadcasts.push_back(request);
      status = state->broadcastStatus;
      const Json body = Json::parse(request.body, nullptr, false);
      const Json* messages = member(body, "messages");
      const Json* topic = messages ? member(*messages, "topic") : nullptr;
      const Json* event = messages ? member(*messages, "event") : nullptr;
      const Json* payload = messages ? member(*messages, "payload") : nullptr;
      if (status < 300 && topic && topic->is_string() && event && event->is_string() && payload) {
        state->toTopic("realtime:" + topic->get<std::string>(), "broadcast", *payload, nullptr);
      }
    }
    state->changed.notify_all();
    return ScriptedResponse::json(status, status < 300 ? "{}" : R"({"error":"refused"})");
  });
}

FakeLegacyRealtime::~FakeLegacyRealtime() {
  {
    std::lock_guard lock(state_->mutex);
    state_->ending = true;
  }
  state_->changed.notify_all();
}

std::string FakeLegacyRealtime::url() const { return backend_.url(root_); }

void FakeLegacyRealtime::answerHeartbeats(bool answer) {
  std::lock_guard lock(state_->mutex);
  state_->answerHeartbeats = answer;
}

void FakeLegacyRealtime::stopReading() {
  std::lock_guard lock(state_->mutex);
  for (const auto& peer : sockets_.peers()) {
    if (!peer->ended()) state_->silenced.insert(peer->id());
  }
}

void FakeLegacyRealtime::setJoinReply(JoinReply reply) {
  std::lock_guard lock(state_->mutex);
  state_->joinReply = std::move(reply);
}

FakeLegacyRealtime::Json FakeLegacyRealtime::echoedJoinReply(const Json& joinPayload, std::int64_t firstID) {
  const Json* config = member(joinPayload, "config");
  const Json* changes = config ? member(*config, "postgres_changes") : nullptr;
  if (!changes || !changes->is_array() || changes->empty()) return okReply();
  Json listed = Json::array();
  for (const auto& change : *changes) {
    Json entry = change;
    entry["id"] = firstID++;
    listed.push_back(std::move(entry));
  }
  return okReply(Json{{"postgres_changes", std::move(listed)}});
}

void FakeLegacyRealtime::setBroadcastStatus(unsigned status) {
  std::lock_guard lock(state_->mutex);
  state_->broadcastStatus = status;
}

void FakeLegacyRealtime::sendToTopic(const std::string& topic, const std::string& event, Json payload) {
  std::lock_guard lock(state_->mutex);
  state_->toTopic(topic, event, payload, nullptr);
}

void FakeLegacyRealtime::sendText(std::size_t connection, std::string text) {
  const auto peers = sockets_.peers();
  if (connection < peers.size()) peers[connection]->sendText(std::move(text));
}

void FakeLegacyRealtime::closeConnections(std::uint16_t code, std::string reason) {
  for (const auto& peer : sockets_.peers()) {
    if (!peer->ended()) peer->close(code, reason);
  }
}

void FakeLegacyRealtime::dropConnections() {
  for (const auto& peer : sockets_.peers()) {
    if (!peer->ended()) peer->dropTCP();
  }
}

std::vector<FakeLegacyRealtime::Frame> FakeLegacyRealtime::frames() const {
  std::lock_guard lock(state_->mutex);
  return state_->frames;
}

std::vector<FakeLegacyRealtime::Frame> FakeLegacyRealtime::framesOf(const std::string& event) const {
  std::vector<Frame> found;
  for (auto& frame : frames()) {
    if (frame.event == event) found.push_back(std::move(frame));
  }
  return found;
}

bool FakeLegacyRealtime::waitForFrames(const std::string& event, std::size_t count,
                                       std::chrono::milliseconds timeout) const {
  std::unique_lock lock(state_->mutex);
  return state_->changed.wait_for(lock, timeout, [&] {
    return static_cast<std::size_t>(std::count_if(state_->frames.begin(), state_->frames.end(),
                                                  [&](const Frame& frame) { return frame.event == event; })) >= count;
  });
}

std::size_t FakeLegacyRealtime::connectionCount() const { return sockets_.peers().size(); }

std::size_t FakeLegacyRealtime::openConnectionCount() const {
  const auto peers = sockets_.peers();
  return static_cast<std::size_t>(
      std::count_if(peers.begin(), peers.end(), [](const auto& peer) { return !peer->ended(); }));
}

bool FakeLegacyRealtime::waitForConnections(std::size_t count, std::chrono::milliseconds timeout) const {
  return static_cast<bool>(sockets_.waitForPeer(count - 1, timeout));
}

std::vector<RecordedRequest> FakeLegacyRealtime::upgrades() const {
  std::vector<RecordedRequest> found;
  for (const auto& peer : sockets_.peers()) found.push_back(peer->upgrade());
  return found;
}

std::vector<RecordedRequest> FakeLegacyRealtime::broadcasts() const {
  std::lock_guard lock(state_->mutex);
  return state_->broadcasts;
}

}  // namespace velmoria::testsupport
