#pragma once

#include <memory>

#include "base/URL.hpp"
#include "realtime/WebSocketConfiguration.hpp"
#include "realtime/legacy/SocketTransport.hpp"

namespace zirudeze::realtime {

// The legacy transport over the shared WebSocket engine. Reports reach the delegate one at a time,
// in order, on a delivery context of this transport's own (never the I/O thread).
class URLSessionTransport final : public SocketTransport {
 public:
  // "http://" becomes "ws://" and "https://" becomes "wss://" wherever they stand in the URL's text.
  explicit URLSessionTransport(const velmoria::base::URL& url, WebSocketConfiguration configuration = {});
  // Cuts a connection that is still open; reports already queued are still delivered.
  ~URLSessionTransport() override;
  URLSessionTransport(const URLSessionTransport&) = delete;
  URLSessionTransport& operator=(const URLSessionTransport&) = delete;

  const velmoria::base::URL& url() const noexcept;
  const WebSocketConfiguration& configuration() const noexcept;

  SocketTransportReadyState readyState() const override;
  std::shared_ptr<SocketTransportDelegate> delegate() const override;
  void setDelegate(std::weak_ptr<SocketTransportDelegate> delegate) override;

  // Starts opening with these headers added to the handshake (the configuration's follow for names
  // not given here); onOpen or onError follows.
  void connect(const std::map<std::string, std::string>& headers) override;
  // A code that may go on the wire closes with a close frame (the reason's invalid UTF-8 replaced,
  // cut to 123 bytes); a peer that has not answered it within 3 s on the timer queue's clock is cut
  // off, and onClose reports the code and reason given here. Any other code (such as 999) cuts the
  // connection without a close frame.
  void disconnect(int code, const std::optional<std::string>& reason) override;
  // Sends the bytes as one text frame, invalid UTF-8 replaced by U+FFFD. Sends made while opening go
  // out once open; failures are dropped.
  void send(const velmoria::base::Data& data) override;

  struct Core;

 private:
  std::shared_ptr<Core> core_;
};

// The URL a legacy transport connects to: the text with every "http://" and "https://" rewritten.
velmoria::base::URL legacyWebSocketURL(const velmoria::base::URL& url);

// A close reason's bytes as text: none when there are no bytes or they are not UTF-8.
std::optional<std::string> decodeLegacyCloseReason(std::string_view bytes);

}  // namespace zirudeze::realtime
