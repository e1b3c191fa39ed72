#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "testsupport/FakeBackend.hpp"

namespace velmoria::testsupport {

// A frame the fake backend received from a client.
struct ReceivedFrame {
  bool text = true;
  std::string payload;
};

// The close frame a client sent.
struct ReceivedClose {
  std::optional<std::uint16_t> code;
  std::string reason;
};

class WebSocketPeer;

// How a WebSocket route answers and behaves.
struct WebSocketRouteOptions {
  std::optional<std::string> subprotocol;                            // chosen in the 101 reply
  std::vector<std::pair<std::string, std::string>> responseHeaders;  // added to the 101 reply
  bool echo = false;                                                 // sends every received message back, same kind
  bool keepFrames = true;  // off, received frames are not kept (long benchmarks)
  // Reads the client's frames (and so answers its pings and its close); off, nothing is read at all.
  bool read = true;
  // How long the server's own close waits for the client's close frame.
  std::chrono::milliseconds closeTimeout{5000};
  // Asked before an upgrade is taken; false leaves the request to older routes of its path, then to the
  // backend's HTTP routes.
  std::function<bool(const RecordedRequest&)> accepts;
  // Called on the connection's thread once the upgrade is done, before any frame.
  std::function<void(WebSocketPeer&)> onAccept;
  // Called on the connection's thread once the connection ended.
  std::function<void(WebSocketPeer&)> onEnd;
  // Called with each text message as it arrives, on the connection's thread; it may script the peer.
  std::function<void(WebSocketPeer&, const std::string&)> onText;
};

// The server side of one accepted WebSocket. Scripted actions run in the order they are called.
class WebSocketPeer {
 public:
  const RecordedRequest& upgrade() const;
  // The same for every handle of one connection.
  const void* id() const noexcept { return state_.get(); }

  void sendText(std::string text);
  void sendBinary(std::string bytes);
  // One message in several frames (a first frame, continuations, the last with FIN).
  void sendFragmented(std::vector<std::string> pieces, bool text = true);
  void ping(std::string payload = {});
  // A close frame; the connection ends when the client answers or the close timeout passes.
  void close(std::uint16_t code, std::string reason);
  // Bytes written to the connection as they are, outside the WebSocket framing.
  void sendRaw(std::string bytes);
  // Ends the TCP connection at once, without a close frame.
  void dropTCP();

  std::vector<ReceivedFrame> frames() const;
  bool waitForFrames(std::size_t count, std::chrono::milliseconds timeout) const;
  std::optional<ReceivedClose> receivedClose() const;
  std::size_t pongCount() const;
  bool ended() const;
  bool waitForEnd(std::chrono::milliseconds timeout) const;

  struct State;
  explicit WebSocketPeer(std::shared_ptr<State> state);

 private:
  std::shared_ptr<State> state_;
};

// The fake backend's WebSocket half: upgrade requests to a WebSocket route are accepted (after the
// backend records them) and served on the connection's thread. Upgrades to any other path reach the
// backend's HTTP routes, so a route there can refuse one (401, a dropped connection, raw bytes).
// Must be destroyed before its backend; it ends every connection it still serves.
class FakeWebSockets {
 public:
  explicit FakeWebSockets(FakeBackend& backend);
  ~FakeWebSockets();
  FakeWebSockets(const FakeWebSockets&) = delete;
  FakeWebSockets& operator=(const FakeWebSockets&) = delete;

  // `path` ending in "*" matches by prefix; the route registered last wins.
  void route(std::string path, WebSocketRouteOptions options = {});

  // "ws://127.0.0.1:<port>" followed by the path and query.
  std::string url(const std::string& pathAndQuery) const;

  // The peers in the order their upgrades were accepted.
  std::vector<std::shared_ptr<WebSocketPeer>> peers() const;
  std::shared_ptr<WebSocketPeer> waitForPeer(std::size_t index = 0,
                                             std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

  struct State;

 private:
  FakeBackend& backend_;
  std::shared_ptr<State> state_;
};

}  // namespace velmoria::testsupport
