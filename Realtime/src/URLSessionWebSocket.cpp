#include "realtime/URLSessionWebSocket.hpp"

#include <atomic>
#include <deque>
#include <stdexcept>
#include <utility>

#include "WebSocketOver.hpp"
#include "base/ThreadSafety.hpp"
#include "base/Unicode.hpp"
#include "concurrency/CancellationError.hpp"
#include "concurrency/CurrentTask.hpp"
#include "realtime/transport/Connection.hpp"

namespace zirudeze::realtime {

namespace {

using transport::ConnectionEnd;
using transport::Failure;
using transport::FailureKind;

// How many data events a socket keeps while nobody listens.
constexpr std::size_t kEventBufferLimit = 100;

// A frame without a status reads as "no status received".
constexpr int kNoStatusReceived = 1005;

struct CloseFor {
  int code;
  std::string reason;
};

CloseFor closeFor(const Failure& failure) {
  switch (failure.kind) {
    case FailureKind::protocolError:
      return {1002, failure.message};
    case FailureKind::timedOut:
      return {1006, "Connection timed out"};
    case FailureKind::connectionLost:
      return {1006, "Network connection lost"};
    case FailureKind::noInternet:
      return {1006, "No internet connection"};
    case FailureKind::aborted:
      return {1006, "abnormal close"};
    case FailureKind::notConnected:
    case FailureKind::other:
      break;
  }
  return {1006, failure.message};
}

}  // namespace

void validateCloseArguments(std::optional<int> code, const std::optional<std::string>& reason) {
  if (code && *code != 1000 && (*code < 3000 || *code > 4999)) {
    throw std::invalid_argument("a close code must be 1000 or lie in 3000...4999, not " + std::to_string(*code));
  }
  if (reason && reason->size() > 123) {
    throw std::invalid_argument("a close reason may hold at most 123 bytes, not " + std::to_string(reason->size()));
  }
  if (reason && !velmoria::base::isValidUTF8(*reason)) throw std::invalid_argument("a close reason must be UTF-8 text");
}

std::string decodeCloseReason(std::optional<std::string_view> bytes) {
  if (!bytes) return "";
  return velmoria::base::repairUTF8(*bytes);
}

struct URLSessionWebSocket::State final : transport::ConnectionEvents {
  State(std::shared_ptr<transport::Connection> opened, std::optional<std::string> chosen)
      : connection(std::move(opened)), subprotocol(std::move(chosen)) {}

  const std::shared_ptr<transport::Connection> connection;
  const std::optional<std::string> subprotocol;

  mutable velmoria::base::RecursiveMutex mutex;
  bool isClosed VM_GUARDED_BY(mutex) = false;
  // isClosed for send, which must not wait for a handler that runs under the mutex.
  std::atomic<bool> refusesSends{false};
  EventHandler onEvent VM_GUARDED_BY(mutex);
  std::deque<WebSocketEvent> eventBuffer VM_GUARDED_BY(mutex);
  // A close that came while nobody listened; the next handler gets it after the buffered events.
  std::optional<WebSocketEvent> keptClose VM_GUARDED_BY(mutex);
  std::optional<int> closeCode VM_GUARDED_BY(mutex);
  std::optional<std::string> closeReason VM_GUARDED_BY(mutex);

  void onText(std::string text) override { deliver(WebSocketEvent::text(std::move(text))); }
  void onBinary(velmoria::base::Data data) override { deliver(WebSocketEvent::binary(std::move(data))); }

  // "Not connected" only means the write raced the connection's end, which the read side reports.
  void onWriteFailure(const Failure& failure) override {
    if (failure.kind == FailureKind::notConnected) return;
    closeWithError(failure);
  }

  void onEnd(const ConnectionEnd& end) override {
    switch (end.kind) {
      case ConnectionEnd::Kind::peerClosed:
        return closeConnection(end.frame.code.value_or(kNoStatusReceived), end.frame.reason);
      case ConnectionEnd::Kind::failed:
        return closeWithError(end.failure);
      case ConnectionEnd::Kind::cut:
        return closeConnection(1006, "abnormal close");
    }
  }

  void closeWithError(const Failure& failure) {
    const CloseFor close = closeFor(failure);
    connection->cut();
    closeConnection(close.code, close.reason);
  }

  void closeConnection(std::optional<int> code, std::optional<std::string_view> reasonBytes) {
    velmoria::base::RecursiveMutexLock lock(mutex);
    if (isClosed) return;
    deliverLocked(WebSocketEvent::close(code, decodeCloseReason(reasonBytes)));
  }

  void deliver(WebSocketEvent event) {
    velmoria::base::RecursiveMutexLock lock(mutex);
    if (isClosed) return;
    deliverLocked(std::move(event));
  }

  void deliverLocked(WebSocketEvent event) VM_REQUIRES(mutex) {
    const WebSocketEvent::Close* close = event.asClose();
    if (close) {
      isClosed = true;
      refusesSends.store(true, std::memory_order_release);
      closeCode = close->code;
      closeReason = close->reason;
    }
    if (onEvent) {
      // A copy: the handler may replace itself.
      const EventHandler handler = onEvent;
      handler(event);
    } else if (close) {
      keptClose = std::move(event);
    } else {
      if (eventBuffer.size() >= kEventBufferLimit) eventBuffer.pop_front();
      eventBuffer.push_back(std::move(event));
    }
    if (isClosed && !keptClose) {
      onEvent = nullptr;
      eventBuffer.clear();
    }
  }

  void setOnEvent(EventHandler handler) {
    velmoria::base::RecursiveMutexLock lock(mutex);
    // A socket whose close was delivered keeps no handler.
    if (isClosed && !keptClose) return;
    onEvent = handler;
    if (!handler) return;
    while (!eventBuffer.empty()) {
      const WebSocketEvent event = std::move(eventBuffer.front());
      eventBuffer.pop_front();
      handler(event);
    }
    if (keptClose) {
      const WebSocketEvent close = std::move(*keptClose);
      keptClose.reset();
      onEvent = nullptr;
      handler(close);
    }
  }
};

std::shared_ptr<URLSessionWebSocket> URLSessionWebSocket::connect(const velmoria::base::URL& url,
                                                                  std::optional<std::vector<std::string>> protocols,
                                                                  std::optional<WebSocketConfiguration> configuration,
                                                                  std::stop_token stop) {
  const auto scheme = url.scheme();
  if (!scheme || (*scheme != "ws" && *scheme != "wss")) {
    throw std::invalid_argument("a WebSocket URL needs the scheme ws or wss: " + url.absoluteString());
  }
  const WebSocketConfiguration settings = configuration.value_or(WebSocketConfiguration{});
  transport::HandshakeRequest request{
      url, {}, settings.httpAdditionalHeaders, protocols.value_or(std::vector<std::string>{}), settings.handshakeLimit};
  const std::stop_token token = concurrency::effectiveStopToken(stop);
  if (token.stop_requested()) throw concurrency::CancellationError();

  transport::ConnectOutcome outcome = transport::connect(std::move(request), token);
  if (const auto* failure = std::get_if<transport::ConnectFailure>(&outcome)) {
    if (token.stop_requested()) throw concurrency::CancellationError();
    throw WebSocketError::connection("connection ended unexpectedly",
                                     std::make_exception_ptr(failure->failure.urlError(url.absoluteString())));
  }
  auto& opened = std::get<transport::Opened>(outcome);
  if (token.stop_requested()) {
    opened.connection->cut();
    throw concurrency::CancellationError();
  }
  return webSocketOver(std::move(opened.connection), std::move(opened.subprotocol));
}

std::shared_ptr<URLSessionWebSocket> webSocketOver(std::shared_ptr<transport::Connection> connection,
                                                   std::optional<std::string> subprotocol) {
  auto state = std::make_shared<URLSessionWebSocket::State>(connection, std::move(subprotocol));
  connection->start(state);
  return std::shared_ptr<URLSessionWebSocket>(new URLSessionWebSocket(std::move(state)));
}

URLSessionWebSocket::URLSessionWebSocket(std::shared_ptr<State> state) : state_(std::move(state)) {}

URLSessionWebSocket::~URLSessionWebSocket() {
  velmoria::base::RecursiveMutexLock lock(state_->mutex);
  // Deliveries hold the same lock, so no handler runs once this returns.
  state_->onEvent = nullptr;
  if (!state_->isClosed) state_->connection->cut();
}

void URLSessionWebSocket::send(std::string text) {
  if (state_->refusesSends.load(std::memory_order_acquire)) return;
  state_->connection->sendText(std::move(text));
}

void URLSessionWebSocket::close(std::optional<int> code, std::optional<std::string> reason) {
  if (isClosed()) return;
  validateCloseArguments(code, reason);
  velmoria::base::RecursiveMutexLock lock(state_->mutex);
  if (state_->isClosed) return;
  if (!code) return state_->connection->cut();
  state_->connection->close(*code, reason.value_or(""));
}

WebSocket::EventHandler URLSessionWebSocket::onEvent() const {
  velmoria::base::RecursiveMutexLock lock(state_->mutex);
  return state_->onEvent;
}

void URLSessionWebSocket::setOnEvent(EventHandler handler) { state_->setOnEvent(std::move(handler)); }

bool URLSessionWebSocket::isClosed() const {
  velmoria::base::RecursiveMutexLock lock(state_->mutex);
  return state_->isClosed;
}

std::optional<int> URLSessionWebSocket::closeCode() const {
  velmoria::base::RecursiveMutexLock lock(state_->mutex);
  return state_->closeCode;
}

std::optional<std::string> URLSessionWebSocket::closeReason() const {
  velmoria::base::RecursiveMutexLock lock(state_->mutex);
  return state_->closeReason;
}

std::optional<std::string> URLSessionWebSocket::protocol() const { return state_->subprotocol; }

}  // namespace zirudeze::realtime
