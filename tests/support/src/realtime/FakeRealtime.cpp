#include "testsupport/FakeRealtime.hpp"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <utility>

namespace velmoria::testsupport {

namespace {

using Json = FakeRealtime::Json;

// A subscription as the server accepted it.
struct Binding {
  std::int64_t id = 0;
  Json event;  // the client's event, or null
  std::string schema;
  std::optional<std::string> table;
  std::optional<std::string> filter;
};

// One channel a connection joined.
struct Joined {
  std::string joinRef;
  bool self = false;
  bool ack = false;
  bool presence = false;
  std::string presenceKey;
  std::vector<Binding> bindings;
};

// One connection and the channels it joined.
struct Connection {
  std::shared_ptr<WebSocketPeer> peer;
  bool open = true;
  std::map<std::string, Joined> channels;
  std::vector<Json> received;
};

std::optional<std::string> text(const Json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || !found->is_string()) return std::nullopt;
  return found->get<std::string>();
}

Json message(const std::string& topic, const std::string& event, Json payload,
             const std::optional<std::string>& ref = std::nullopt,
             const std::optional<std::string>& joinRef = std::nullopt) {
  Json made = Json::object();
  made["join_ref"] = joinRef ? Json(*joinRef) : Json(nullptr);
  made["ref"] = ref ? Json(*ref) : Json(nullptr);
  made["topic"] = topic;
  made["event"] = event;
  made["payload"] = std::move(payload);
  return made;
}

Json okReply(Json response = Json::object()) { return Json{{"status", "ok"}, {"response", std::move(response)}}; }

// "column=eq.value" filters compare the record's value as text; other filters let every change through.
bool passesFilter(const std::optional<std::string>& filter, const Json& record) {
  if (!filter) return true;
  const auto at = filter->find("=eq.");
  if (at == std::string::npos) return true;
  const auto column = record.find(filter->substr(0, at));
  if (column == record.end()) return false;
  const std::string wanted = filter->substr(at + 4);
  return column->is_string() ? column->get<std::string>() == wanted : column->dump() == wanted;
}

Json columnsOf(const Json& record) {
  Json columns = Json::array();
  for (const auto& [name, value] : record.items()) {
    columns.push_back({{"name", name}, {"type", value.is_string() ? "text" : value.is_boolean() ? "bool" : "int8"}});
  }
  return columns;
}

}  // namespace

struct FakeRealtime::State : std::enable_shared_from_this<FakeRealtime::State> {
  std::string root;
  std::string baseURL;

  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  bool answersHeartbeats = true;
  bool answersJoins = true;
  bool refuses = false;
  std::optional<ScriptedResponse> broadcastResponse;
  std::vector<Connection> connections;
  std::vector<std::pair<std::size_t, Json>> arrivals;  // (connection, message) in arrival order
  std::vector<RecordedRequest> broadcasts;
  std::int64_t nextBindingID = 100;
  int nextPresenceRef = 0;
  // topic -> presence key -> metas
  std::map<std::string, std::map<std::string, Json>> presence;

  bool accepts(const RecordedRequest& request) {
    const std::lock_guard lock(mutex);
    return !refuses && request.queryValue("apikey").has_value() && request.queryValue("vsn") == "1.0.0";
  }

  Connection& connectionFor(WebSocketPeer& peer) {
    for (auto& connection : connections) {
      if (connection.peer->id() == peer.id()) return connection;
    }
    connections.push_back(Connection{std::make_shared<WebSocketPeer>(peer), true, {}, {}});
    return connections.back();
  }

  static void send(WebSocketPeer& peer, const Json& made) { peer.sendText(made.dump()); }

  void onText(WebSocketPeer& peer, const std::string& text) {
    const std::lock_guard lock(mutex);
    Connection& connection = connectionFor(peer);
    const Json parsed = Json::parse(text, nullptr, false);
    if (!parsed.is_object()) return;
    connection.received.push_back(parsed);
    arrivals.emplace_back(static_cast<std::size_t>(&connection - connections.data()), parsed);
    changed.notify_all();
    handle(connection, parsed);
  }

  void onAccept(WebSocketPeer& peer) {
    const std::lock_guard lock(mutex);
    connectionFor(peer);
    changed.notify_all();
  }

  void onEnd(WebSocketPeer& peer) {
    const std::lock_guard lock(mutex);
    for (auto& connection : connections) {
      if (connection.peer->id() == peer.id()) connection.open = false;
    }
    changed.notify_all();
  }

  void handle(Connection& connection, const Json& frame) {
    const auto topic = text(frame, "topic");
    const auto event = text(frame, "event");
    if (!topic || !event) return;
    const auto ref = text(frame, "ref");
    const auto joinRef = text(frame, "join_ref");
    const Json payload = frame.contains("payload") && frame["payload"].is_object() ? frame["payload"] : Json::object();
    WebSocketPeer& peer = *connection.peer;
    const auto reply = [&](Json response) {
      send(peer, message(*topic, "phx_reply", std::move(response), ref, joinRef));
    };

    if (*topic == "phoenix" && *event == "heartbeat") {
      if (answersHeartbeats) send(peer, message("phoenix", "phx_reply", okReply(), ref));
      return;
    }
    if (*event == "phx_join") return join(connection, *topic, payload, ref);
    if (*event == "access_token") return reply(okReply());
    if (*event == "phx_leave") {
      reply(okReply());
      send(peer, message(*topic, "phx_close", Json::object(), ref, joinRef));
      connection.channels.erase(*topic);
      return;
    }
    const auto joined = connection.channels.find(*topic);
    if (joined == connection.channels.end()) return;
    if (*event == "broadcast") {
      fanOut(*topic, payload, &connection);
      if (joined->second.ack) reply(okReply());
      return;
    }
    if (*event == "presence") return track(connection, *topic, payload, reply);
  }

  void join(Connection& connection, const std::string& topic, const Json& payload,
            const std::optional<std::string>& ref) {
    if (!answersJoins) return;
    const Json config = payload.value("config", Json::object());
    Joined joined;
    joined.joinRef = ref.value_or("");
    const Json broadcast = config.value("broadcast", Json::object());
    joined.self = broadcast.value("self", false);
    joined.ack = broadcast.value("ack", false);
    const Json presenceConfig = config.value("presence", Json::object());
    joined.presence = presenceConfig.value("enabled", false);
    joined.presenceKey = presenceConfig.value("key", std::string());
    Json accepted = Json::array();
    for (const auto& change : config.value("postgres_changes", Json::array())) {
      Binding binding;
      binding.id = ++nextBindingID;
      binding.event = change.value("event", Json(nullptr));
      binding.schema = change.value("schema", std::string("public"));
      binding.table = text(change, "table");
      binding.filter = text(change, "filter");
      Json entry{{"id", binding.id}, {"event", binding.event}, {"schema", binding.schema}};
      if (binding.table) entry["table"] = *binding.table;
      if (binding.filter) entry["filter"] = *binding.filter;
      accepted.push_back(std::move(entry));
      joined.bindings.push_back(std::move(binding));
    }
    const bool hasChanges = !joined.bindings.empty();
    const bool presence = joined.presence;
    connection.channels[topic] = std::move(joined);
    WebSocketPeer& peer = *connection.peer;
    send(peer, message(topic, "phx_reply", okReply({{"postgres_changes", accepted}}), ref, ref));
    if (hasChanges) {
      send(peer, message(topic, "system",
                         {{"status", "ok"},
                          {"message", "Subscribed to PostgreSQL"},
                          {"extension", "postgres_changes"},
                          {"channel", topic.substr(topic.find(':') + 1)}},
                         std::nullopt, ref));
    }
    if (presence) {
      Json state = Json::object();
      for (const auto& [key, metas] : this->presence[topic]) state[key] = {{"metas", metas}};
      send(peer, message(topic, "presence_state", state, std::nullopt, ref));
    }
  }

  template <class Reply>
  void track(Connection& connection, const std::string& topic, const Json& payload, const Reply& reply) {
    const std::string event = payload.value("event", std::string());
    Joined& joined = connection.channels[topic];
    const std::string key =
        joined.presenceKey.empty() ? "client-" + std::to_string(&connection - connections.data()) : joined.presenceKey;
    Json diff{{"joins", Json::object()}, {"leaves", Json::object()}};
    auto& members = presence[topic];
    if (event == "track") {
      Json meta = payload.value("payload", Json::object());
      meta["phx_ref"] = "ref-" + std::to_string(++nextPresenceRef);
      members[key] = Json::array({meta});
      diff["joins"][key] = {{"metas", members[key]}};
    } else if (event == "untrack") {
      const auto found = members.find(key);
      if (found == members.end()) return reply(okReply());
      diff["leaves"][key] = {{"metas", found->second}};
      members.erase(found);
    } else {
      return reply(Json{{"status", "error"}, {"response", {{"reason", "unknown presence event"}}}});
    }
    reply(okReply());
    for (auto& other : connections) {
      if (!other.open || other.channels.count(topic) == 0) continue;
      send(*other.peer, message(topic, "presence_diff", diff));
    }
  }

  void fanOut(const std::string& topic, const Json& payload, const Connection* sender) {
    for (auto& connection : connections) {
      if (!connection.open) continue;
      const auto joined = connection.channels.find(topic);
      if (joined == connection.channels.end()) continue;
      if (&connection == sender && !joined->second.self) continue;
      send(*connection.peer, message(topic, "broadcast", payload, std::nullopt, joined->second.joinRef));
    }
  }

  ScriptedResponse restBroadcast(const RecordedRequest& request) {
    const std::lock_guard lock(mutex);
    broadcasts.push_back(request);
    changed.notify_all();
    if (broadcastResponse) return *broadcastResponse;
    if (!request.header("apikey")) return ScriptedResponse::json(401, R"({"message":"No API key found in request"})");
    const Json body = Json::parse(request.body, nullptr, false);
    if (!body.is_object() || !body.contains("messages") || !body["messages"].is_array()) {
      return ScriptedResponse::json(400, R"({"error":"the body needs a list of messages"})");
    }
    for (const auto& entry : body["messages"]) {
      const auto topic = text(entry, "topic");
      const auto event = text(entry, "event");
      if (!topic || !event) return ScriptedResponse::json(400, R"({"error":"a message needs a topic and an event"})");
      fanOut(*topic, {{"type", "broadcast"}, {"event", *event}, {"payload", entry.value("payload", Json::object())}},
             nullptr);
    }
    return ScriptedResponse::json(202, "");
  }

  std::size_t sendChange(const FakeRealtimeChange& change) {
    const std::lock_guard lock(mutex);
    std::size_t sent = 0;
    for (auto& connection : connections) {
      if (!connection.open) continue;
      for (const auto& [topic, joined] : connection.channels) {
        Json ids = Json::array();
        for (const auto& binding : joined.bindings) {
          const bool event = binding.event.is_null() || binding.event == "*" || binding.event == change.type;
          const bool table = !binding.table || *binding.table == change.table;
          const Json& row = change.type == "DELETE" ? change.oldRecord : change.record;
          if (binding.schema == change.schema && event && table && passesFilter(binding.filter, row)) {
            ids.push_back(binding.id);
          }
        }
        if (ids.empty()) continue;
        Json data{{"schema", change.schema},
                  {"table", change.table},
                  {"commit_timestamp", "2024-05-01T10:00:00.123Z"},
                  {"type", change.type},
                  {"columns", columnsOf(change.type == "DELETE" ? change.oldRecord : change.record)},
                  {"errors", nullptr}};
        if (change.type != "DELETE") data["record"] = change.record;
        if (change.type != "INSERT") data["old_record"] = change.oldRecord;
        send(*connection.peer,
             message(topic, "postgres_changes", {{"ids", ids}, {"data", data}}, std::nullopt, joined.joinRef));
        ++sent;
      }
    }
    return sent;
  }

  std::vector<std::shared_ptr<WebSocketPeer>> openPeers() const {
    const std::lock_guard lock(mutex);
    std::vector<std::shared_ptr<WebSocketPeer>> peers;
    for (const auto& connection : connections) {
      if (connection.open) peers.push_back(connection.peer);
    }
    return peers;
  }
};

FakeRealtime::FakeRealtime(FakeBackend& backend, FakeWebSockets& sockets, std::string root)
    : state_(std::make_shared<State>()) {
  state_->root = std::move(root);
  state_->baseURL = backend.url(state_->root);
  const std::weak_ptr<State> weak = state_;
  WebSocketRouteOptions options;
  // A client that cuts its connection while the server closes it is not waited for long.
  options.closeTimeout = std::chrono::seconds(1);
  options.accepts = [weak](const RecordedRequest& request) {
    const auto state = weak.lock();
    return state && state->accepts(request);
  };
  options.onText = [weak](WebSocketPeer& peer, const std::string& text) {
    if (const auto state = weak.lock()) state->onText(peer, text);
  };
  options.onEnd = [weak](WebSocketPeer& peer) {
    if (const auto state = weak.lock()) state->onEnd(peer);
  };
  // A connection counts from its upgrade, before it sends anything.
  options.onAccept = [weak](WebSocketPeer& peer) {
    if (const auto state = weak.lock()) state->onAccept(peer);
  };
  sockets.route(state_->root + "/websocket", options);
  backend.route("*", state_->root + "/websocket", [](const RecordedRequest&) {
    return ScriptedResponse::json(401, R"({"message":"the socket needs an apikey and vsn 1.0.0"})");
  });
  backend.route("POST", state_->root + "/api/broadcast", [weak](const RecordedRequest& request) {
    const auto state = weak.lock();
    if (!state) return ScriptedResponse::json(503, R"({"message":"realtime gone"})");
    return state->restBroadcast(request);
  });
}

FakeRealtime::~FakeRealtime() = default;

std::string FakeRealtime::url() const { return state_->baseURL; }

void FakeRealtime::setAnswersHeartbeats(bool answers) {
  const std::lock_guard lock(state_->mutex);
  state_->answersHeartbeats = answers;
}

void FakeRealtime::setAnswersJoins(bool answers) {
  const std::lock_guard lock(state_->mutex);
  state_->answersJoins = answers;
}

void FakeRealtime::setRefusesConnections(bool refuses) {
  const std::lock_guard lock(state_->mutex);
  state_->refuses = refuses;
}

void FakeRealtime::respondToBroadcasts(ScriptedResponse response) {
  const std::lock_guard lock(state_->mutex);
  state_->broadcastResponse = std::move(response);
}

std::size_t FakeRealtime::sendChange(const FakeRealtimeChange& change) { return state_->sendChange(change); }

void FakeRealtime::sendText(const std::string& text) {
  for (const auto& peer : state_->openPeers()) peer->sendText(text);
}

void FakeRealtime::sendBinary(const std::string& bytes) {
  for (const auto& peer : state_->openPeers()) peer->sendBinary(bytes);
}

void FakeRealtime::close(std::uint16_t code, const std::string& reason) {
  for (const auto& peer : state_->openPeers()) peer->close(code, reason);
}

void FakeRealtime::dropConnections() {
  for (const auto& peer : state_->openPeers()) peer->dropTCP();
}

std::size_t FakeRealtime::connectionCount() const {
  const std::lock_guard lock(state_->mutex);
  return state_->connections.size();
}

std::size_t FakeRealtime::openConnectionCount() const {
  const std::lock_guard lock(state_->mutex);
  return static_cast<std::size_t>(std::count_if(state_->connections.begin(), state_->connections.end(),
                                                [](const Connection& connection) { return connection.open; }));
}

bool FakeRealtime::waitForConnections(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(state_->mutex);
  return state_->changed.wait_for(lock, timeout, [&] { return state_->connections.size() >= count; });
}

std::shared_ptr<WebSocketPeer> FakeRealtime::peer(std::size_t connection) const {
  const std::lock_guard lock(state_->mutex);
  return connection < state_->connections.size() ? state_->connections[connection].peer : nullptr;
}

std::vector<FakeRealtime::Json> FakeRealtime::received(std::size_t connection) const {
  const std::lock_guard lock(state_->mutex);
  return connection < state_->connections.size() ? state_->connections[connection].received : std::vector<Json>{};
}

std::vector<FakeRealtime::Json> FakeRealtime::receivedWithEvent(const std::string& event) const {
  const std::lock_guard lock(state_->mutex);
  std::vector<Json> found;
  for (const auto& [connection, arrived] : state_->arrivals) {
    if (arrived.value("event", std::string()) == event) found.push_back(arrived);
  }
  return found;
}

bool FakeRealtime::waitForEvent(const std::string& event, std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(state_->mutex);
  return state_->changed.wait_for(lock, timeout, [&] {
    return static_cast<std::size_t>(std::count_if(state_->arrivals.begin(), state_->arrivals.end(), [&](const auto& a) {
             return a.second.value("event", std::string()) == event;
           })) >= count;
  });
}

std::vector<RecordedRequest> FakeRealtime::broadcastRequests() const {
  const std::lock_guard lock(state_->mutex);
  return state_->broadcasts;
}

}  // namespace velmoria::testsupport
