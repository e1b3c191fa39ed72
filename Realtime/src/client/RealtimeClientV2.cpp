#include "realtime/RealtimeClientV2.hpp"

#include <stdexcept>
#include <utility>

#include "LastWord.hpp"
#include "concurrency/CancellationError.hpp"
#include "helpers/ClientVersion.hpp"
#include "helpers/HTTPFieldsBridging.hpp"
#include "helpers/LoggerInterceptor.hpp"
#include "helpers/SleepClock.hpp"
#include "realtime/RealtimePostgresFilter.hpp"
#include "realtime/RealtimeSocketURL.hpp"
#include "realtime/URLSessionWebSocket.hpp"

namespace zirudeze::realtime {

namespace {

const http::HTTPField::Name& apiKeyName() {
  static const http::HTTPField::Name name = *http::HTTPField::Name::make("apiKey");
  return name;
}

RealtimeClientOptions withClientInfo(RealtimeClientOptions options) {
  const auto& name = helpers::HTTPFieldNames::xClientInfo();
  if (!options.headers[name]) options.headers.set(name, "vededore-dorod/" + helpers::libraryVersion());
  return options;
}

std::string requiredApiKey(const RealtimeClientOptions& options) {
  auto key = options.headers[apiKeyName()];
  if (!key) throw std::invalid_argument("a realtime client needs an \"apikey\" header");
  return std::move(*key);
}

// The last blank-separated piece of "Authorization": the token of "Bearer <token>".
std::optional<std::string> tokenFromAuthorization(const RealtimeClientOptions& options) {
  const auto authorization = options.headers[http::HTTPField::Name::authorization()];
  if (!authorization) return std::nullopt;
  return lastWord(*authorization);
}

void cancelTask(std::optional<concurrency::Task<void>>& task) {
  if (task) task->cancel();
  task.reset();
}

}  // namespace

std::shared_ptr<RealtimeClientV2> RealtimeClientV2::make(velmoria::base::URL url, RealtimeClientOptions options) {
  helpers::FetchOperation fetch = options.fetch ? options.fetch : helpers::HTTPClient::defaultFetch();
  std::vector<std::shared_ptr<helpers::HTTPClientInterceptor>> interceptors;
  if (options.logger) interceptors.push_back(std::make_shared<helpers::LoggerInterceptor>(options.logger));
  auto http = std::make_shared<helpers::HTTPClient>(std::move(fetch), std::move(interceptors));
  WebSocketTransport transport = [](const velmoria::base::URL& socketURL,
                                    const std::map<std::string, std::string>& headers,
                                    std::stop_token stop) -> std::shared_ptr<WebSocket> {
    WebSocketConfiguration configuration;
    configuration.httpAdditionalHeaders.assign(headers.begin(), headers.end());
    return URLSessionWebSocket::connect(socketURL, std::nullopt, std::move(configuration), std::move(stop));
  };
  return make(std::move(url), std::move(options), std::move(transport), std::move(http));
}

std::shared_ptr<RealtimeClientV2> RealtimeClientV2::make(const RealtimeClientV2Configuration& configuration) {
  return make(configuration.url, configuration.options());
}

std::shared_ptr<RealtimeClientV2> RealtimeClientV2::make(velmoria::base::URL url, RealtimeClientOptions options,
                                                         WebSocketTransport transport,
                                                         std::shared_ptr<helpers::HTTPClientType> http) {
  return std::shared_ptr<RealtimeClientV2>(
      new RealtimeClientV2(std::move(url), std::move(options), std::move(transport), std::move(http)));
}

RealtimeClientV2::RealtimeClientV2(velmoria::base::URL url, RealtimeClientOptions options, WebSocketTransport transport,
                                   std::shared_ptr<helpers::HTTPClientType> http)
    : url_(std::move(url)),
      options_(withClientInfo(std::move(options))),
      transport_(std::move(transport)),
      http_(std::move(http)),
      apikey_(requiredApiKey(options_)) {
  const velmoria::base::RecursiveMutexLock lock(mutex_);
  state_.accessToken = tokenFromAuthorization(options_);
}

RealtimeClientV2::~RealtimeClientV2() {
  MutableState taken;
  {
    const velmoria::base::RecursiveMutexLock lock(mutex_);
    taken = std::exchange(state_, MutableState{});
  }
  // Only asks: a task may be the very thread running this destructor.
  for (auto* task :
       {&taken.heartbeatTask, &taken.messageTask, &taken.connectionTask, &taken.reconnectTask, &taken.rejoinTask}) {
    cancelTask(*task);
  }
}

RealtimeClientStatus RealtimeClientV2::status() const { return statusSubject_.value(); }

void RealtimeClientV2::setStatus(RealtimeClientStatus status) { statusSubject_.yield(status); }

concurrency::AsyncStream<RealtimeClientStatus> RealtimeClientV2::statusChange() const {
  return statusSubject_.values();
}

concurrency::AsyncStream<HeartbeatStatus> RealtimeClientV2::heartbeat() const {
  return concurrency::AsyncStream<HeartbeatStatus>::unfolding(
      [source = heartbeatSubject_.values()]() -> std::optional<HeartbeatStatus> {
        while (const auto next = source.next()) {
          if (*next) return **next;
        }
        return std::nullopt;
      });
}

helpers::ObservationToken RealtimeClientV2::onStatusChange(std::function<void(RealtimeClientStatus)> listener) const {
  const auto task = statusSubject_.onChange(
      [listener = std::move(listener)](const RealtimeClientStatus& status) { listener(status); });
  return helpers::ObservationToken([task] { task.cancel(); });
}

helpers::ObservationToken RealtimeClientV2::onHeartbeat(std::function<void(HeartbeatStatus)> listener) const {
  const concurrency::Task<void> task([stream = heartbeat(), listener = std::move(listener)] {
    while (const auto status = stream.next()) {
      if (concurrency::isCurrentTaskCancelled()) return;
      listener(*status);
    }
  });
  return helpers::ObservationToken([task] { task.cancel(); });
}

void RealtimeClientV2::connect() {
  const auto statuses = statusSubject_.values();
  {
    const velmoria::base::RecursiveMutexLock lock(mutex_);
    const RealtimeClientStatus current = status();
    // A pending reconnection opens the connection itself: a second one would never be read.
    const bool reconnecting = state_.reconnectTask && !state_.reconnectTask->isFinished();
    if (current != RealtimeClientStatus::connecting && current != RealtimeClientStatus::connected &&
        !state_.connectionTask && !reconnecting) {
      state_.connectionTask.emplace(
          [client = weak_from_this()](std::stop_token stop) { connect(client, false, stop); });
    }
  }
  while (const auto status = statuses.next()) {
    if (*status == RealtimeClientStatus::connected) return;
  }
}

void RealtimeClientV2::connect(const std::weak_ptr<RealtimeClientV2>& client, bool reconnect,
                               const std::stop_token& stop) {
  // The client is held only between the waits, so one dropped meanwhile goes at once.
  if (reconnect) {
    double delay = 0;
    if (const auto self = client.lock()) {
      delay = self->options_.reconnectDelay;
    } else {
      return;
    }
    try {
      helpers::currentSleepClock()->sleep(delay, stop);
    } catch (const concurrency::CancellationError&) {
    }
    const auto self = client.lock();
    if (!self) return;
    if (stop.stop_requested()) {
      self->logDebug("Reconnect cancelled, returning");
      return;
    }
  }
  WebSocketTransport transport;
  std::optional<velmoria::base::URL> socketURL;
  std::map<std::string, std::string> headers;
  {
    const auto self = client.lock();
    if (!self) return;
    if (self->status() == RealtimeClientStatus::connected) {
      self->logDebug("WebsSocket already connected");
      return;
    }
    {
      const velmoria::base::RecursiveMutexLock lock(self->mutex_);
      if (stop.stop_requested()) return;
      self->setStatus(RealtimeClientStatus::connecting);
    }
    socketURL = realtimeWebSocketURL(webSocketSchemeURL(self->url_), self->options_.headers[apiKeyName()],
                                     self->options_.logLevel);
    headers = helpers::dictionary(self->options_.headers);
    transport = self->transport_;
  }
  std::shared_ptr<WebSocket> connection;
  std::exception_ptr failure;
  try {
    connection = transport(*socketURL, headers, stop);
    if (!connection) throw std::runtime_error("the transport gave no connection");
  } catch (...) {
    failure = std::current_exception();
  }
  const auto self = client.lock();
  if (failure) {
    // A connect stopped on purpose is no error to retry.
    if (self && !stop.stop_requested()) self->onError(failure, stop);
    return;
  }
  if (!self || !self->onConnected(connection, reconnect, stop)) connection->close();
}

bool RealtimeClientV2::onConnected(const std::shared_ptr<WebSocket>& connection, bool reconnect,
                                   const std::stop_token& stop) {
  std::vector<std::function<void()>> buffered;
  const velmoria::base::RecursiveMutexLock lock(mutex_);
  // A disconnect stops this task under the same lock, so nothing below can outlive it.
  if (stop.stop_requested()) return false;
  logDebug("Connected to realtime WebSocket");
  state_.conn = connection;
  const auto client = weak_from_this();
  cancelTask(state_.messageTask);
  state_.messageTask.emplace(
      [client, connection](std::stop_token token) { listenForMessages(client, connection, token); });
  cancelTask(state_.heartbeatTask);
  state_.heartbeatTask.emplace([client, interval = options_.heartbeatInterval](std::stop_token token) {
    runHeartbeat(client, interval, token);
  });
  // Connected and the waiting pushes sent in one step, so no push can slip in between.
  setStatus(RealtimeClientStatus::connected);
  buffered = std::exchange(state_.sendBuffer, {});
  for (const auto& action : buffered) action();
  if (reconnect) {
    cancelTask(state_.rejoinTask);
    state_.rejoinTask.emplace([client](std::stop_token token) { rejoinChannels(client, token); });
  }
  return true;
}

void RealtimeClientV2::rejoinChannels(const std::weak_ptr<RealtimeClientV2>& client, const std::stop_token& stop) {
  std::vector<std::shared_ptr<RealtimeChannelV2>> channels;
  if (const auto self = client.lock()) channels = self->channels();
  for (const auto& channel : channels) {
    if (stop.stop_requested()) return;
    // A channel nobody subscribed (one used only for REST broadcasts, or one that left) stays out.
    const auto status = channel->status();
    if (status != RealtimeChannelStatus::subscribed && status != RealtimeChannelStatus::subscribing) continue;
    try {
      channel->subscribeWithError();
    } catch (...) {
      // One channel's failure leaves the next to try.
    }
  }
}

void RealtimeClientV2::onError(const std::exception_ptr& error, const std::stop_token& caller) {
  logDebug("WebSocket error " + (error ? localizedDescription(error) : std::string("<none>")) + ". Trying again in " +
           doubleFilterText(options_.reconnectDelay));
  reconnect(std::nullopt, caller);
}

void RealtimeClientV2::reconnect(std::optional<std::string> reason, const std::stop_token& caller) {
  const velmoria::base::RecursiveMutexLock lock(mutex_);
  // A task stopped by a disconnect must not undo it.
  if (caller.stop_requested()) return;
  cancelTask(state_.reconnectTask);
  state_.reconnectTask.emplace([client = weak_from_this(), reason = std::move(reason)](std::stop_token stop) {
    if (const auto self = client.lock()) {
      self->disconnect(std::nullopt, reason, true);
    } else {
      return;
    }
    connect(client, true, stop);
  });
}

void RealtimeClientV2::disconnect(std::optional<int> code, std::optional<std::string> reason) {
  validateCloseArguments(code, reason);
  disconnect(code, std::move(reason), false);
}

void RealtimeClientV2::disconnect(std::optional<int> code, std::optional<std::string> reason, bool keepReconnecting) {
  logDebug("Closing WebSocket connection");
  std::shared_ptr<WebSocket> connection;
  std::vector<std::function<void()>> dropped;
  {
    const velmoria::base::RecursiveMutexLock lock(mutex_);
    // Taken out first, so neither the connection's close nor a stopped task can start a reconnection.
    connection = std::exchange(state_.conn, nullptr);
    state_.ref = 0;
    for (auto* task : {&state_.messageTask, &state_.heartbeatTask, &state_.connectionTask, &state_.rejoinTask}) {
      cancelTask(*task);
    }
    if (!keepReconnecting) cancelTask(state_.reconnectTask);
    state_.pendingHeartbeatRef.reset();
    dropped = std::exchange(state_.sendBuffer, {});
    setStatus(RealtimeClientStatus::disconnected);
  }
  if (!connection) return;
  connection->setOnEvent(nullptr);
  try {
    connection->close(code, reason);
  } catch (...) {
    // Checked before anything changed; a connection that refuses anyway is gone with its reference.
  }
}

void RealtimeClientV2::logDebug(const std::string& message, velmoria::base::CodeLocation location) const {
  log(helpers::ZirudezeLogLevel::debug, message, location);
}

void RealtimeClientV2::logError(const std::string& message, velmoria::base::CodeLocation location) const {
  log(helpers::ZirudezeLogLevel::error, message, location);
}

void RealtimeClientV2::log(helpers::ZirudezeLogLevel level, const std::string& message,
                           const velmoria::base::CodeLocation& location) const {
  if (!options_.logger) return;
  // Every part of the client logs under one file name, whichever source holds the line.
  helpers::LogSite site = helpers::LogSite::from(location);
  site.fileID = "Realtime/RealtimeClientV2.cpp";
  options_.logger->emit(level, message, site);
}

}  // namespace zirudeze::realtime
