#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "base/Data.hpp"
#include "base/URL.hpp"
#include "helpers/URLError.hpp"
#include "helpers/URLResponse.hpp"

// The WebSocket engine both realtime transports share: connections over Beast on one process-wide I/O
// thread. Nothing of Beast shows here; the front ends see connections, failures and endings.
namespace zirudeze::realtime::transport {

// The failure classes a front end tells apart.
enum class FailureKind {
  notConnected,    // the socket is not connected
  protocolError,   // the peer broke the WebSocket protocol
  timedOut,        // a time limit passed
  connectionLost,  // the connection ended under us (reset, end of stream, truncated TLS)
  noInternet,      // no route to the network or host
  aborted,         // our own cancellation or cut
  other,
};

struct Failure {
  FailureKind kind = FailureKind::other;
  std::string message;  // what the library said about the error
  helpers::URLError::Code urlCode = helpers::URLError::Code::unknown;

  helpers::URLError urlError(const std::string& failingURL) const;
};

struct CloseFrame {
  std::optional<int> code;  // absent when the frame carried no status
  std::string reason;       // the frame's reason bytes
};

// How a connection ended: the peer's close frame, a failure, or our own cut.
struct ConnectionEnd {
  enum class Kind { peerClosed, failed, cut };
  Kind kind = Kind::cut;
  CloseFrame frame;  // peerClosed
  Failure failure;   // failed
};

// Called on the I/O thread, one at a time, in the order things happened on the wire.
class ConnectionEvents {
 public:
  virtual ~ConnectionEvents() = default;
  virtual void onText(std::string text) = 0;
  virtual void onBinary(velmoria::base::Data data) = 0;
  // A queued frame could not be written; what is queued behind it is dropped.
  virtual void onWriteFailure(const Failure& failure) = 0;
  // Exactly once, last.
  virtual void onEnd(const ConnectionEnd& end) = 0;
};

// An open connection. Every member may be called from any thread; work runs on the I/O thread. The
// connection stays alive while it has work in flight; dropping the last handle does not close it (cut()
// does).
class Connection {
 public:
  virtual ~Connection() = default;
  // Begins reading. Events go to `events` while it lives; once it is gone the connection is cut.
  virtual void start(std::weak_ptr<ConnectionEvents> events) = 0;
  // Queues one text frame; frames go out in the order they were queued.
  virtual void sendText(std::string text) = 0;
  // After the queued frames, sends a close frame (a code that may go on the wire) and waits at most
  // the handshake limit for the peer's; the ending follows.
  virtual void close(int code, std::string reason) = 0;
  // Closes the TCP connection at once, without a close frame.
  virtual void cut() = 0;
};

// Whether a close code may be sent in a close frame.
bool isSendableCloseCode(int code) noexcept;

// What to open.
struct HandshakeRequest {
  velmoria::base::URL url;  // "ws" or "wss"
  // Added in order, repeats kept.
  std::vector<std::pair<std::string, std::string>> requestHeaders;
  // Set (a later one replaces an earlier one), except for names the request headers already carry.
  std::vector<std::pair<std::string, std::string>> sessionHeaders;
  std::vector<std::string> subprotocols;
  std::chrono::milliseconds handshakeLimit{60000};
};

struct Opened {
  std::shared_ptr<Connection> connection;
  std::optional<std::string> subprotocol;
  helpers::HTTPURLResponse response;  // the 101 reply
};

struct ConnectFailure {
  Failure failure;
  std::optional<helpers::HTTPURLResponse> response;  // when the server answered the upgrade without 101
};

using ConnectOutcome = std::variant<Opened, ConnectFailure>;

class PendingConnect {
 public:
  virtual ~PendingConnect() = default;
  // Ends the attempt; its completion reports an aborted failure unless it already ran.
  virtual void cancel() = 0;
};

// Opens a connection in the background; `completion` runs exactly once, on the I/O thread. Throws
// std::invalid_argument for a URL that is not ws or wss or has no host.
std::shared_ptr<PendingConnect> startConnect(HandshakeRequest request, std::function<void(ConnectOutcome)> completion);

// Opens a connection and waits for the outcome; a stop request ends the attempt (aborted).
ConnectOutcome connect(HandshakeRequest request, std::stop_token stop);

}  // namespace zirudeze::realtime::transport
