#include <map>

#include "base/ThreadSafety.hpp"
#include "base/coding/JSONCoders.hpp"
#include "concurrency/CancellationError.hpp"
#include "concurrency/Task.hpp"
#include "helpers/HTTPStatusText.hpp"
#include "helpers/SharedJSONCoders.hpp"
#include "helpers/WithTimeout.hpp"
#include "issuereporting/IsTesting.hpp"
#include "issuereporting/ReportIssue.hpp"
#include "realtime/BroadcastMessagePayload.hpp"
#include "realtime/RealtimeChannelV2.hpp"
#include "realtime/RealtimeError.hpp"

namespace zirudeze::realtime {

namespace {

const http::HTTPField::Name& apiKeyName() {
  static const http::HTTPField::Name name = *http::HTTPField::Name::make("apiKey");
  return name;
}

// A background request's end, which a caller may wait for under its own stop token.
struct Completion {
  velmoria::base::Mutex mutex;
  velmoria::base::ConditionVariable done;
  bool finished VM_GUARDED_BY(mutex) = false;

  void finish() {
    {
      const velmoria::base::MutexLock lock(mutex);
      finished = true;
    }
    done.notifyAll();
  }
  void wait(const std::stop_token& stop) {
    velmoria::base::MutexLock lock(mutex);
    if (!done.wait(lock, stop, [this]() VM_REQUIRES(mutex) { return finished; }))
      throw concurrency::CancellationError();
  }
};

// The text a failed REST broadcast is reported with: the body's "error" or "message" when the body is an
// object of texts only, else the status's own text.
std::string broadcastFailureText(const helpers::HTTPResponse& response) {
  const auto body = helpers::AnyJSON::parse(
      std::string_view(reinterpret_cast<const char*>(response.data.data()), response.data.size()));
  if (body) {
    if (const auto* object = body->objectValue()) {
      std::map<std::string, std::string> texts;
      bool allTexts = true;
      for (const auto& [key, value] : *object) {
        const std::string* text = value.stringValue();
        if (text == nullptr) {
          allTexts = false;
          break;
        }
        texts.emplace(key, *text);
      }
      if (allTexts) {
        if (const auto error = texts.find("error"); error != texts.end()) return error->second;
        if (const auto message = texts.find("message"); message != texts.end()) return message->second;
      }
    }
  }
  return helpers::localizedStatusText(response.statusCode);
}

}  // namespace

helpers::HTTPRequest RealtimeChannelV2::broadcastRequest(RealtimeClientProtocol& client, const std::string& event,
                                                         const helpers::JSONObject& message,
                                                         const std::optional<std::string>& token) const {
  http::HTTPFields headers;
  headers.set(http::HTTPField::Name::contentType(), "application/json");
  if (const auto apiKey = client.options().headers[apiKeyName()]) headers.set(apiKeyName(), *apiKey);
  if (token) headers.set(http::HTTPField::Name::authorization(), "Bearer " + *token);
  const BroadcastMessagePayload body{{{topic_, event, message, config().isPrivate}}};
  return helpers::HTTPRequest(client.url().appendingPathComponent("api/broadcast"),
                              helpers::HTTPRequest::Method::post(), {}, std::move(headers),
                              helpers::JSONEncoder::makeDefault().encode(body));
}

void RealtimeChannelV2::broadcast(const std::string& event, const helpers::JSONObject& message) {
  if (status() == RealtimeChannelStatus::subscribed) {
    push("broadcast", std::nullopt,
         helpers::JSONObject{{"type", "broadcast"}, {"event", event}, {"payload", helpers::AnyJSON(message)}});
    return;
  }
  if (!issuereporting::isTesting()) {
    VM_REPORT_ISSUE(
        "Realtime broadcast() is automatically falling back to REST API.\nThis behavior will be deprecated in the "
        "future.\nPlease use httpSend() explicitly for REST delivery.");
  }
  const auto client = socket();
  if (!client) return;
  std::optional<helpers::HTTPRequest> request;
  try {
    request = broadcastRequest(*client, event, message, findAccessToken(*client));
  } catch (...) {
    return;  // an unencodable body goes nowhere, silently
  }
  const auto completion = std::make_shared<Completion>();
  // The request runs on its own and may outlive this call; it holds the client's HTTP client only.
  concurrency::Task<void>([http = client->http(), request = std::move(*request), completion] {
    try {
      if (http) (void)http->send(request);
    } catch (...) {
    }
    completion->finish();
  });
  if (!config().broadcast.acknowledgeBroadcasts) return;
  try {
    helpers::withTimeout(client->options().timeoutInterval,
                         [completion](std::stop_token stop) { completion->wait(stop); });
  } catch (const helpers::TimeoutError&) {
  } catch (const concurrency::CancellationError&) {
  }
}

void RealtimeChannelV2::httpSend(const std::string& event, const helpers::JSONObject& message,
                                 std::optional<double> timeout) {
  const auto client = socket();
  if (!client) throw RealtimeError("Access token is required for httpSend()");
  const auto token = findAccessToken(*client);
  if (!token) throw RealtimeError("Access token is required for httpSend()");
  const auto http = client->http();
  if (!http) throw RealtimeError("The realtime client has no HTTP client");
  const helpers::HTTPRequest request = broadcastRequest(*client, event, message, token);
  const double limit = timeout.value_or(client->options().timeoutInterval);
  const helpers::HTTPResponse response = helpers::withTimeout(limit, [&] { return http->send(request); });
  if (response.statusCode == 202) return;
  throw RealtimeError(broadcastFailureText(response));
}

void RealtimeChannelV2::track(const helpers::JSONObject& state) {
  if (status() != RealtimeChannelStatus::subscribed) {
    VM_REPORT_ISSUE(
        "You can only track your presence after subscribing to the channel. Did you forget to call "
        "`channel.subscribe()`?");
  }
  push("presence", std::nullopt,
       helpers::JSONObject{{"type", "presence"}, {"event", "track"}, {"payload", helpers::AnyJSON(state)}});
}

void RealtimeChannelV2::untrack() {
  push("presence", std::nullopt, helpers::JSONObject{{"type", "presence"}, {"event", "untrack"}});
}

}  // namespace zirudeze::realtime
