#include "realtime/legacy/RealtimeClient.hpp"

#include <algorithm>
#include <charconv>
#include <limits>

#include "ClientState.hpp"
#include "EndpointURL.hpp"
#include "helpers/ClientVersion.hpp"
#include "realtime/legacy/RealtimeChannel.hpp"
#include "realtime/legacy/URLSessionTransport.hpp"

namespace zirudeze::realtime {

namespace {

std::map<std::string, std::string> withClientInfo(std::map<std::string, std::string> headers) {
  if (!headers.contains("X-Client-Info"))
    headers.emplace("X-Client-Info", "vededore-dorod/" + helpers::libraryVersion());
  return headers;
}

template <class Callback>
void removeRefs(std::vector<std::pair<std::string, Callback>>& list, const std::vector<std::string>& refs) {
  std::erase_if(list,
                [&](const auto& entry) { return std::find(refs.begin(), refs.end(), entry.first) != refs.end(); });
}

}  // namespace

RealtimeClient::State::State(std::string endPointText, std::map<std::string, std::string> givenHeaders,
                             TransportFactory factory, ParamsClosure closure, std::string version)
    : endPoint(std::move(endPointText)),
      transport(std::move(factory)),
      paramsClosure(std::move(closure)),
      vsn(std::move(version)),
      headers(withClientInfo(std::move(givenHeaders))),
      http(std::make_shared<helpers::HTTPClient>(helpers::HTTPClient::defaultFetch(),
                                                 std::vector<std::shared_ptr<helpers::HTTPClientInterceptor>>{})),
      endPointUrl(detail::legacyEndpointURL(endPoint, currentParams(), vsn)),
      encode(&Defaults::encode),
      decode([](const velmoria::base::Data& bytes) { return Defaults::decode(bytes); }) {}

std::optional<RealtimeClient::Params> RealtimeClient::State::currentParams() const {
  if (!paramsClosure) return std::nullopt;
  return paramsClosure();
}

bool RealtimeClient::State::connected() const {
  return connection && connection->readyState() == SocketTransportReadyState::open;
}

std::string RealtimeClient::State::nextRef() {
  ref = ref == std::numeric_limits<std::uint64_t>::max() ? 0 : ref + 1;
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, ref).ptr;
  return std::string(digits, end);
}

void RealtimeClient::State::log(std::initializer_list<std::string_view> items) const {
  if (!logger) return;
  std::string line = "LegacySocket: ";
  bool first = true;
  for (const std::string_view item : items) {
    if (!first) line += ", ";
    first = false;
    line += item;
  }
  lock->callOut([logger = logger, line = std::move(line)] { logger(line); });
}

std::optional<RealtimeClient::CloseCode> RealtimeClient::makeCloseCode(int code) noexcept {
  switch (code) {
    case 999:
      return CloseCode::abnormal;
    case 1000:
      return CloseCode::normal;
    case 1001:
      return CloseCode::goingAway;
    default:
      return std::nullopt;
  }
}

RealtimeClient::CloseStatus RealtimeClient::closeStatusFor(int code) noexcept {
  if (code == 999) return CloseStatus::abnormal;
  if (code == 1001) return CloseStatus::temporary;
  return CloseStatus::clean;
}

RealtimeClient::CloseStatus RealtimeClient::closeStatusFor(CloseCode code) noexcept {
  return closeStatusFor(static_cast<int>(code));
}

RealtimeClient::CloseStatus RealtimeClient::updatedCloseStatus(CloseStatus current, int code) noexcept {
  return current == CloseStatus::abnormal ? current : closeStatusFor(code);
}

bool RealtimeClient::shouldReconnect(CloseStatus status) noexcept {
  return status == CloseStatus::unknown || status == CloseStatus::abnormal;
}

std::shared_ptr<RealtimeClient> RealtimeClient::make(std::string endPoint, std::map<std::string, std::string> headers,
                                                     std::optional<Params> params, std::string vsn) {
  return make(
      std::move(endPoint), std::move(headers), [params = std::move(params)] { return params; }, std::move(vsn));
}

std::shared_ptr<RealtimeClient> RealtimeClient::make(std::string endPoint, std::map<std::string, std::string> headers,
                                                     ParamsClosure paramsClosure, std::string vsn) {
  TransportFactory transport = [](const velmoria::base::URL& url) -> std::shared_ptr<SocketTransport> {
    return std::make_shared<URLSessionTransport>(url);
  };
  return make(std::move(endPoint), std::move(headers), std::move(transport), std::move(paramsClosure), std::move(vsn));
}

std::shared_ptr<RealtimeClient> RealtimeClient::make(std::string endPoint, std::map<std::string, std::string> headers,
                                                     TransportFactory transport, ParamsClosure paramsClosure,
                                                     std::string vsn) {
  auto client = std::make_shared<RealtimeClient>(Passkey(), std::move(endPoint), std::move(headers),
                                                 std::move(transport), std::move(paramsClosure), std::move(vsn));
  client->start();
  return client;
}

RealtimeClient::RealtimeClient(Passkey, std::string endPoint, std::map<std::string, std::string> headers,
                               TransportFactory transport, ParamsClosure paramsClosure, std::string vsn)
    : state_(std::make_unique<State>(std::move(endPoint), std::move(headers), std::move(transport),
                                     std::move(paramsClosure), std::move(vsn))) {
  SocketLock lock(state_->mutex);
  state_->accessToken = detail::tokenFromParams(state_->currentParams());
}

void RealtimeClient::start() {
  SocketLock lock(state_->mutex);
  auto timer = std::make_unique<TimeoutTimer>(state_->timers, state_->lock);
  const std::weak_ptr<RealtimeClient> weak = weak_from_this();
  timer->callback.bindWeak(weak, [](RealtimeClient& client) {
    SocketLock held(client.state_->mutex);
    client.state_->log({"Socket attempting to reconnect"});
    client.closeConnection(CloseCode::normal, "reconnection");
    client.connect();
  });
  timer->timerCalculation.bindWeak(weak, [](RealtimeClient& client, int tries) -> std::optional<double> {
    SocketLock held(client.state_->mutex);
    const double delay = client.state_->reconnectAfter(tries);
    client.state_->log({"Socket reconnecting in " + describe(delay) + "s"});
    return delay;
  });
  state_->reconnectTimer = std::move(timer);
}

RealtimeClient::~RealtimeClient() {
  SocketLock lock(state_->mutex);
  if (state_->reconnectTimer) state_->reconnectTimer->reset();
}

const std::shared_ptr<SocketMutex>& RealtimeClient::socketMutex() const noexcept { return state_->lock; }

const std::string& RealtimeClient::endPoint() const noexcept { return state_->endPoint; }

velmoria::base::URL RealtimeClient::endPointUrl() const {
  SocketLock lock(state_->mutex);
  return state_->endPointUrl;
}

std::optional<RealtimeClient::Params> RealtimeClient::params() const { return state_->currentParams(); }

const std::string& RealtimeClient::vsn() const noexcept { return state_->vsn; }

std::map<std::string, std::string> RealtimeClient::headers() const { return state_->headers; }

std::optional<std::string> RealtimeClient::accessToken() const {
  SocketLock lock(state_->mutex);
  return state_->accessToken;
}

RealtimeClient::CloseStatus RealtimeClient::closeStatus() const {
  SocketLock lock(state_->mutex);
  return state_->closeStatus;
}

std::shared_ptr<helpers::HTTPClientType> RealtimeClient::http() const { return state_->http; }

double RealtimeClient::timeout() const {
  SocketLock lock(state_->mutex);
  return state_->timeout;
}

void RealtimeClient::setTimeout(double seconds) {
  SocketLock lock(state_->mutex);
  state_->timeout = seconds;
}

double RealtimeClient::heartbeatInterval() const {
  SocketLock lock(state_->mutex);
  return state_->heartbeatInterval;
}

void RealtimeClient::setHeartbeatInterval(double seconds) {
  SocketLock lock(state_->mutex);
  state_->heartbeatInterval = seconds;
}

std::chrono::nanoseconds RealtimeClient::heartbeatLeeway() const {
  SocketLock lock(state_->mutex);
  return state_->heartbeatLeeway;
}

void RealtimeClient::setHeartbeatLeeway(std::chrono::nanoseconds leeway) {
  SocketLock lock(state_->mutex);
  state_->heartbeatLeeway = leeway;
}

bool RealtimeClient::skipHeartbeat() const {
  SocketLock lock(state_->mutex);
  return state_->skipHeartbeat;
}

void RealtimeClient::setSkipHeartbeat(bool skip) {
  SocketLock lock(state_->mutex);
  state_->skipHeartbeat = skip;
}

void RealtimeClient::setReconnectAfter(BackOff backOff) {
  SocketLock lock(state_->mutex);
  state_->reconnectAfter = std::move(backOff);
}

void RealtimeClient::setRejoinAfter(BackOff backOff) {
  SocketLock lock(state_->mutex);
  state_->rejoinAfter = std::move(backOff);
}

double RealtimeClient::rejoinAfter(int tries) const {
  SocketLock lock(state_->mutex);
  return state_->rejoinAfter(tries);
}

void RealtimeClient::setLogger(Logger logger) {
  SocketLock lock(state_->mutex);
  state_->logger = std::move(logger);
}

void RealtimeClient::setEncode(Encode encode) {
  SocketLock lock(state_->mutex);
  state_->encode = std::move(encode);
}

void RealtimeClient::setDecode(Decode decode) {
  SocketLock lock(state_->mutex);
  state_->decode = std::move(decode);
}

bool RealtimeClient::disableSSLCertValidation() const {
  SocketLock lock(state_->mutex);
  return state_->disableSSLCertValidation;
}

void RealtimeClient::setDisableSSLCertValidation(bool disable) {
  SocketLock lock(state_->mutex);
  state_->disableSSLCertValidation = disable;
}

std::optional<std::vector<std::string>> RealtimeClient::enabledSSLCipherSuites() const {
  SocketLock lock(state_->mutex);
  return state_->enabledSSLCipherSuites;
}

void RealtimeClient::setEnabledSSLCipherSuites(std::optional<std::vector<std::string>> suites) {
  SocketLock lock(state_->mutex);
  state_->enabledSSLCipherSuites = std::move(suites);
}

std::uint64_t RealtimeClient::ref() const {
  SocketLock lock(state_->mutex);
  return state_->ref;
}

void RealtimeClient::setRef(std::uint64_t ref) {
  SocketLock lock(state_->mutex);
  state_->ref = ref;
}

std::string RealtimeClient::makeRef() {
  SocketLock lock(state_->mutex);
  return state_->nextRef();
}

std::string RealtimeClient::websocketProtocol() const {
  const std::optional<std::string> scheme = endPointUrl().scheme();
  if (scheme == "https") return "wss";
  if (scheme == "http") return "ws";
  return scheme.value_or("");
}

bool RealtimeClient::isConnected() const {
  SocketLock lock(state_->mutex);
  return state_->connected();
}

SocketTransportReadyState RealtimeClient::connectionState() const {
  SocketLock lock(state_->mutex);
  return state_->connection ? state_->connection->readyState() : SocketTransportReadyState::closed;
}

void RealtimeClient::setAuth(std::optional<std::string> token) {
  SocketLock lock(state_->mutex);
  state_->accessToken = token;
  const auto channels = state_->channels;
  for (const auto& channel : channels) {
    if (token) {
      auto params = channel->params();
      params.insert_or_assign("user_token", *token);
      channel->setParams(std::move(params));
    }
    if (channel->joinedOnce() && channel->isJoined()) {
      helpers::JSONObject payload;
      payload.emplace("access_token", nullptr);
      if (token) payload.insert_or_assign("access_token", *token);
      channel->push(std::string(ChannelEvent::accessToken), std::move(payload), Defaults::timeoutInterval);
    }
  }
}

std::string RealtimeClient::onOpen(std::function<void()> callback) {
  OpenDelegate delegate;
  delegate.bindDirect([callback = std::move(callback)](const Response&) { callback(); });
  return addOpen(std::move(delegate));
}

std::string RealtimeClient::onOpen(std::function<void(const Response&)> callback) {
  OpenDelegate delegate;
  delegate.bindDirect(std::move(callback));
  return addOpen(std::move(delegate));
}

std::string RealtimeClient::onClose(std::function<void()> callback) {
  CloseDelegate delegate;
  delegate.bindDirect([callback = std::move(callback)](int, const std::optional<std::string>&) { callback(); });
  return addClose(std::move(delegate));
}

std::string RealtimeClient::onClose(std::function<void(int, const std::optional<std::string>&)> callback) {
  CloseDelegate delegate;
  delegate.bindDirect(std::move(callback));
  return addClose(std::move(delegate));
}

std::string RealtimeClient::onError(std::function<void(const std::exception_ptr&, const Response&)> callback) {
  ErrorDelegate delegate;
  delegate.bindDirect(std::move(callback));
  return addError(std::move(delegate));
}

std::string RealtimeClient::onMessage(std::function<void(const RealtimeMessage&)> callback) {
  MessageDelegate delegate;
  delegate.bindDirect(std::move(callback));
  return addMessage(std::move(delegate));
}

std::string RealtimeClient::addOpen(OpenDelegate delegate) {
  SocketLock lock(state_->mutex);
  std::string ref = state_->nextRef();
  state_->stateChangeCallbacks.open.emplace_back(ref, calledOut(state_->lock, std::move(delegate)));
  return ref;
}

std::string RealtimeClient::addOwnOpen(OpenDelegate delegate) {
  SocketLock lock(state_->mutex);
  std::string ref = state_->nextRef();
  state_->stateChangeCallbacks.open.emplace_back(ref, std::move(delegate));
  return ref;
}

std::string RealtimeClient::addClose(CloseDelegate delegate) {
  SocketLock lock(state_->mutex);
  std::string ref = state_->nextRef();
  state_->stateChangeCallbacks.close.emplace_back(ref, calledOut(state_->lock, std::move(delegate)));
  return ref;
}

std::string RealtimeClient::addError(ErrorDelegate delegate) {
  SocketLock lock(state_->mutex);
  std::string ref = state_->nextRef();
  state_->stateChangeCallbacks.error.emplace_back(ref, calledOut(state_->lock, std::move(delegate)));
  return ref;
}

std::string RealtimeClient::addOwnError(ErrorDelegate delegate) {
  SocketLock lock(state_->mutex);
  std::string ref = state_->nextRef();
  state_->stateChangeCallbacks.error.emplace_back(ref, std::move(delegate));
  return ref;
}

std::string RealtimeClient::addMessage(MessageDelegate delegate) {
  SocketLock lock(state_->mutex);
  std::string ref = state_->nextRef();
  state_->stateChangeCallbacks.message.emplace_back(ref, calledOut(state_->lock, std::move(delegate)));
  return ref;
}

void RealtimeClient::releaseCallbacks() {
  SocketLock lock(state_->mutex);
  state_->stateChangeCallbacks.open.clear();
  state_->stateChangeCallbacks.close.clear();
  state_->stateChangeCallbacks.error.clear();
  state_->stateChangeCallbacks.message.clear();
}

void RealtimeClient::off(const std::vector<std::string>& refs) {
  SocketLock lock(state_->mutex);
  removeRefs(state_->stateChangeCallbacks.open, refs);
  removeRefs(state_->stateChangeCallbacks.close, refs);
  removeRefs(state_->stateChangeCallbacks.error, refs);
  removeRefs(state_->stateChangeCallbacks.message, refs);
}

std::shared_ptr<RealtimeChannel> RealtimeClient::channel(const std::string& topic,
                                                         const RealtimeChannelOptions& options) {
  SocketLock lock(state_->mutex);
  auto made =
      RealtimeChannel::make(RealtimeChannel::Passkey(), "realtime:" + topic, options.params(), shared_from_this());
  state_->channels.push_back(made);
  return made;
}

std::vector<std::shared_ptr<RealtimeChannel>> RealtimeClient::channels() const {
  SocketLock lock(state_->mutex);
  return state_->channels;
}

void RealtimeClient::remove(const std::shared_ptr<RealtimeChannel>& channel) {
  SocketLock lock(state_->mutex);
  removeChannel(channel);
  if (state_->channels.empty()) disconnect(CloseCode::normal, std::nullopt, nullptr);
}

void RealtimeClient::removeAllChannels() {
  SocketLock lock(state_->mutex);
  const auto channels = state_->channels;
  for (const auto& channel : channels) {
    removeChannel(channel);
    if (state_->channels.empty()) disconnect(CloseCode::normal, std::nullopt, nullptr);
  }
}

void RealtimeClient::removeChannel(const std::shared_ptr<RealtimeChannel>& channel) {
  SocketLock lock(state_->mutex);
  channel->unsubscribe(Defaults::timeoutInterval);
  off(channel->stateChangeRefs());
  const std::optional<std::string> joinRef = channel->joinRef();
  // Channels that never joined share no join reference: only the channel itself goes then.
  std::erase_if(state_->channels, [&](const std::shared_ptr<RealtimeChannel>& entry) {
    if (entry == channel) return true;
    return joinRef && entry->joinRef() == joinRef;
  });
}

void RealtimeClient::leaveOpenTopic(const std::string& topic) {
  SocketLock lock(state_->mutex);
  const auto channels = state_->channels;
  for (const auto& channel : channels) {
    if (channel->topic() != topic || !(channel->isJoined() || channel->isJoining())) continue;
    state_->log({"transport", "leaving duplicate topic: [" + topic + "]"});
    channel->unsubscribe(Defaults::timeoutInterval);
    return;
  }
}

void RealtimeClient::logItems(std::initializer_list<std::string_view> items) const {
  SocketLock lock(state_->mutex);
  state_->log(items);
}

}  // namespace zirudeze::realtime
