// A legacy channel's messages: bindings, the dispatch of what arrives, reply routing and typed sends.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <stop_token>

#include "ChannelState.hpp"
#include "base/Check.hpp"
#include "base/ThreadSafety.hpp"
#include "base/Unicode.hpp"
#include "clocks/Clock.hpp"
#include "concurrency/CancellationError.hpp"
#include "helpers/HTTPFieldsBridging.hpp"
#include "realtime/legacy/RealtimeChannel.hpp"
#include "realtime/legacy/RealtimeClient.hpp"
#include "realtime/legacy/TimerQueue.hpp"

namespace zirudeze::realtime {

namespace {

std::string lowercased(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) >= 0x80) return velmoria::base::lowercased(text);
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::optional<std::string> lowercasedText(const helpers::JSONObject& object, const std::string& key) {
  const auto found = object.find(key);
  if (found == object.end()) return std::nullopt;
  const std::string* text = found->second.stringValue();
  return text ? std::optional<std::string>(lowercased(*text)) : std::nullopt;
}

// A decimal integer with an optional sign, nothing else.
std::optional<std::int64_t> integerText(std::string_view text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool listsID(const helpers::JSONObject& payload, std::int64_t id) {
  const auto found = payload.find("ids");
  if (found == payload.end()) return false;
  const helpers::JSONArray* ids = found->second.arrayValue();
  if (ids == nullptr) return false;
  bool listed = false;
  for (const auto& element : *ids) {
    const auto value = element.intValue();
    // A list with anything but integers counts as none.
    if (!value) return false;
    listed = listed || *value == id;
  }
  return listed;
}

std::optional<std::string> changeType(const helpers::JSONObject& payload) {
  const auto data = payload.find("data");
  if (data == payload.end()) return std::nullopt;
  const helpers::JSONObject* object = data->second.objectValue();
  return object ? lowercasedText(*object, "type") : std::nullopt;
}

bool isChangeEvent(std::string_view event) { return event == "insert" || event == "update" || event == "delete"; }

bool isTypedEvent(std::string_view event) {
  return event == ChannelEvent::broadcast || event == ChannelEvent::presence || event == ChannelEvent::postgresChanges;
}

bool acknowledgesBroadcasts(const helpers::JSONObject& params) {
  const auto config = params.find("config");
  const helpers::JSONObject* object = config == params.end() ? nullptr : config->second.objectValue();
  if (object == nullptr) return true;
  const auto broadcast = object->find("broadcast");
  const helpers::JSONObject* settings = broadcast == object->end() ? nullptr : broadcast->second.objectValue();
  if (settings == nullptr) return true;
  const auto ack = settings->find("ack");
  return ack != settings->end() && ack->second.boolValue() == true;
}

// A typed send's answer: the first outcome wins.
class Outcome {
 public:
  void resolve(ChannelResponse response) {
    {
      velmoria::base::MutexLock lock(mutex_);
      if (response_) return;
      response_ = response;
    }
    resolved_.request_stop();
  }
  // The answer, or timedOut once the clock reaches the deadline without one.
  ChannelResponse waitUntil(const clocks::Clock& clock, clocks::Instant deadline) {
    try {
      clock.sleepUntil(deadline, std::nullopt, resolved_.get_token());
    } catch (const concurrency::CancellationError&) {
    }
    resolve(ChannelResponse::timedOut);
    velmoria::base::MutexLock lock(mutex_);
    return *response_;
  }

 private:
  velmoria::base::Mutex mutex_;
  std::optional<ChannelResponse> response_ VM_GUARDED_BY(mutex_);
  std::stop_source resolved_;
};

// A send's "timeout" option in seconds, written as a whole number or not.
std::optional<double> secondsOption(const helpers::JSONObject& opts) {
  const auto given = opts.find("timeout");
  if (given == opts.end()) return std::nullopt;
  if (const auto seconds = given->second.doubleValue()) return seconds;
  if (const auto seconds = given->second.intValue()) return static_cast<double>(*seconds);
  return std::nullopt;
}

// Header names compare without regard to case: every spelling of the key's name goes.
void eraseField(std::map<std::string, std::string>& headers, std::string_view name) {
  std::erase_if(headers, [&](const auto& field) {
    return field.first.size() == name.size() &&
           std::equal(name.begin(), name.end(), field.first.begin(), [](char a, char b) {
             return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
  });
}

}  // namespace

std::shared_ptr<RealtimeChannel> RealtimeChannel::on(const std::string& event, const ChannelFilter& filter,
                                                     Callback callback) {
  Binding binding;
  binding.callback.bindDirect(std::move(callback));
  return addBinding(event, filter, std::move(binding));
}

std::shared_ptr<RealtimeChannel> RealtimeChannel::onClose(Callback callback) {
  return on(std::string(ChannelEvent::close), ChannelFilter{}, std::move(callback));
}

std::shared_ptr<RealtimeChannel> RealtimeChannel::onError(Callback callback) {
  return on(std::string(ChannelEvent::error), ChannelFilter{}, std::move(callback));
}

std::shared_ptr<RealtimeChannel> RealtimeChannel::addBinding(const std::string& event, const ChannelFilter& filter,
                                                             Binding binding) {
  binding.filter = filter.asDictionary();
  binding.callback = calledOut(state_->lock, std::move(binding.callback));
  addOwnBinding(event, std::move(binding));
  return shared_from_this();
}

void RealtimeChannel::addOwnBinding(const std::string& event, Binding binding) {
  SocketLock lock(state_->mutex);
  binding.type = lowercased(event);
  state_->bindings[binding.type].push_back(std::move(binding));
}

void RealtimeChannel::off(const std::string& event, const std::map<std::string, std::string>& filter) {
  SocketLock lock(state_->mutex);
  const std::string key = lowercased(event);
  auto& list = state_->bindings[key];
  std::erase_if(list,
                [&](const Binding& binding) { return lowercased(binding.type) == key && binding.filter == filter; });
}

std::map<std::string, std::vector<Binding>> RealtimeChannel::bindings() const {
  SocketLock lock(state_->mutex);
  return state_->bindings;
}

void RealtimeChannel::trigger(const RealtimeMessage& message) {
  SocketLock lock(state_->mutex);
  const std::string type = lowercased(message.event);
  if (type == ChannelEvent::close || type == ChannelEvent::error || type == ChannelEvent::leave ||
      type == ChannelEvent::join) {
    if (!message.joinRef || message.ref != *message.joinRef) return;
  }
  const bool change = isChangeEvent(type);
  const auto list = state_->bindings.find(change ? std::string(ChannelEvent::postgresChanges) : type);
  if (list == state_->bindings.end()) return;

  std::vector<Delegated<void(const RealtimeMessage&)>> matching;
  if (change) {
    for (const auto& binding : list->second) {
      const auto wanted = binding.filter.find("event");
      if (wanted != binding.filter.end() && (wanted->second == "*" || wanted->second == type)) {
        matching.push_back(binding.callback);
      }
    }
  } else if (isTypedEvent(type)) {
    const helpers::JSONObject& payload = message.payload();
    // What the bindings compare with, read once per message.
    const std::optional<std::string> payloadEvent = lowercasedText(payload, "event");
    std::optional<std::optional<std::string>> payloadChange;
    for (const auto& binding : list->second) {
      const auto wanted = binding.filter.find("event");
      const std::optional<std::string> bindEvent =
          wanted == binding.filter.end() ? std::nullopt : std::optional<std::string>(lowercased(wanted->second));
      const std::optional<std::int64_t> id = binding.id ? integerText(*binding.id) : std::nullopt;
      bool matches = false;
      if (id) {
        if (!payloadChange) payloadChange = changeType(payload);
        matches = listsID(payload, *id) && (bindEvent == "*" || bindEvent == *payloadChange);
      } else {
        matches = bindEvent == "*" || bindEvent == payloadEvent;
      }
      if (matches) matching.push_back(binding.callback);
    }
  } else {
    for (const auto& binding : list->second) {
      if (binding.type == type) matching.push_back(binding.callback);
    }
  }
  for (const auto& callback : matching) callback.call(message);
}

void RealtimeChannel::routeReply(const RealtimeMessage& message) {
  SocketLock lock(state_->mutex);
  trigger(RealtimeMessage{message.ref, message.joinRef ? message.joinRef : state_->joinRef(), state_->topic,
                          "chan_reply_" + message.ref, message.rawPayload});
}

ChannelResponse RealtimeChannel::send(RealtimeListenTypes type, std::optional<std::string> event,
                                      helpers::JSONObject payload, helpers::JSONObject opts) {
  // Its reply is taken in holding the socket's mutex, so a wait holding it would wait for nothing.
  VM_CHECK(!state_->mutex.heldByCurrentThread(), "A typed send was made holding the legacy socket's mutex");
  payload.insert_or_assign("type", std::string(rawValue(type)));
  if (event) payload.insert_or_assign("event", *event);

  auto outcome = std::make_shared<Outcome>();
  const std::shared_ptr<TimerQueue> timers = TimerQueue::main();
  std::optional<clocks::Instant> deadline;
  {
    SocketLock lock(state_->mutex);
    if (state_->canPush() || type != RealtimeListenTypes::broadcast) {
      const double timeout = secondsOption(opts).value_or(state_->timeout);
      const auto pushed = push(std::string(rawValue(type)), payload, timeout);
      if (type == RealtimeListenTypes::broadcast && !acknowledgesBroadcasts(state_->params)) return ChannelResponse::ok;
      // No ref: the socket is gone, so no reply and no timeout could ever come.
      if (!pushed->ref()) return ChannelResponse::error;
      // Resolved where the reply is taken in, so a send waiting inside a callback gets it.
      pushed->listen(PushStatus::ok, [outcome](const RealtimeMessage&) { outcome->resolve(ChannelResponse::ok); });
      pushed->listen(PushStatus::timeout,
                     [outcome](const RealtimeMessage&) { outcome->resolve(ChannelResponse::timedOut); });
      pushed->listen(PushStatus::error,
                     [outcome](const RealtimeMessage&) { outcome->resolve(ChannelResponse::error); });
      pushed->onAnswer([outcome](const RealtimeMessage& reply) {
        if (!reply.status()) outcome->resolve(ChannelResponse::error);
      });
      // A push sent only once the channel joins starts its timeout again then; the caller waits no longer
      // than the first.
      deadline = timers->clock()->now().advanced(std::chrono::milliseconds(TimerQueue::wholeMilliseconds(timeout)));
    }
  }
  if (!deadline) return broadcastOverREST(std::move(payload), std::move(event));
  return outcome->waitUntil(*timers->clock(), *deadline);
}

ChannelResponse RealtimeChannel::track(helpers::JSONObject payload, helpers::JSONObject opts) {
  return send(RealtimeListenTypes::presence, std::nullopt, {{"event", "track"}, {"payload", std::move(payload)}},
              std::move(opts));
}

ChannelResponse RealtimeChannel::untrack(helpers::JSONObject opts) {
  return send(RealtimeListenTypes::presence, std::nullopt, {{"event", "untrack"}}, std::move(opts));
}

ChannelResponse RealtimeChannel::broadcastOverREST(helpers::JSONObject payload, std::optional<std::string> event) {
  const auto socket = state_->socket.lock();
  if (!socket) return ChannelResponse::error;
  auto headers = socket->headers();
  headers.insert_or_assign("Content-Type", "application/json");
  if (const auto token = socket->accessToken()) {
    // One key: the socket's headers may spell the name otherwise ("Apikey").
    eraseField(headers, "apikey");
    headers.insert_or_assign("apikey", *token);
  } else {
    headers.erase("apikey");
  }
  helpers::JSONObject message{{"topic", state_->subTopic}, {"payload", std::move(payload)}, {"event", nullptr}};
  if (event) message.insert_or_assign("event", *event);
  velmoria::base::Data body;
  try {
    body = Defaults::encode(helpers::JSONObject{{"messages", message}});
  } catch (const std::exception&) {
    return ChannelResponse::error;
  }
  const auto url = broadcastEndpointURL();
  if (!url) return ChannelResponse::error;
  helpers::HTTPRequest request(*url, helpers::HTTPRequest::Method::post(), {}, helpers::fieldsFromDictionary(headers),
                               std::move(body));
  try {
    const auto response = socket->http()->send(request);
    return response.statusCode >= 200 && response.statusCode <= 299 ? ChannelResponse::ok : ChannelResponse::error;
  } catch (...) {
    return ChannelResponse::error;
  }
}

}  // namespace zirudeze::realtime
