#pragma once

#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "base/URL.hpp"
#include "realtime/WebSocket.hpp"
#include "realtime/WebSocketConfiguration.hpp"

namespace zirudeze::realtime::transport {
class Connection;
}  // namespace zirudeze::realtime::transport

namespace zirudeze::realtime {

// The one WebSocket implementation: a Beast connection on the process-wide I/O thread. Events that
// arrive before a handler is set are kept (the newest 100 data events, and the close).
class URLSessionWebSocket final : public WebSocket {
 public:
  // Opens a connection to a "ws" or "wss" URL (anything else throws std::invalid_argument) and blocks
  // until it is open. The configuration's headers are set on the handshake. Throws
  // WebSocketError::connection("connection ended unexpectedly", cause) when it does not open, where
  // the cause is a helpers::URLError, and CancellationError when `stop` (by default the current task's
  // token) is triggered first.
  static std::shared_ptr<URLSessionWebSocket> connect(
      const velmoria::base::URL& url, std::optional<std::vector<std::string>> protocols = std::nullopt,
      std::optional<WebSocketConfiguration> configuration = std::nullopt, std::stop_token stop = {});

  // Cuts a connection that is still open; the handler is not called after this returns.
  ~URLSessionWebSocket() override;
  URLSessionWebSocket(const URLSessionWebSocket&) = delete;
  URLSessionWebSocket& operator=(const URLSessionWebSocket&) = delete;

  void send(std::string text) override;
  void close(std::optional<int> code = std::nullopt, std::optional<std::string> reason = std::nullopt) override;
  EventHandler onEvent() const override;
  // A handler set on a socket that holds kept events gets them first, oldest first.
  void setOnEvent(EventHandler handler) override;
  bool isClosed() const override;
  std::optional<int> closeCode() const override;
  std::optional<std::string> closeReason() const override;
  std::optional<std::string> protocol() const override;

  struct State;

 private:
  friend std::shared_ptr<URLSessionWebSocket> webSocketOver(std::shared_ptr<transport::Connection> connection,
                                                            std::optional<std::string> subprotocol);
  explicit URLSessionWebSocket(std::shared_ptr<State> state);

  std::shared_ptr<State> state_;
};

// A close reason's bytes as text: invalid UTF-8 replaced by U+FFFD, no bytes as "".
std::string decodeCloseReason(std::optional<std::string_view> bytes);

}  // namespace zirudeze::realtime
