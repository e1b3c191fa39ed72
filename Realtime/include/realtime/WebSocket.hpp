#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "base/Data.hpp"

namespace zirudeze::realtime {

// What a connection delivers: text and binary frames, then exactly one close.
class WebSocketEvent {
 public:
  struct Text {
    std::string text;
    friend bool operator==(const Text&, const Text&) = default;
  };
  struct Binary {
    velmoria::base::Data data;
    friend bool operator==(const Binary&, const Binary&) = default;
  };
  struct Close {
    std::optional<int> code;
    std::string reason;
    friend bool operator==(const Close&, const Close&) = default;
  };

  static WebSocketEvent text(std::string text) { return WebSocketEvent(Text{std::move(text)}); }
  static WebSocketEvent binary(velmoria::base::Data data) { return WebSocketEvent(Binary{std::move(data)}); }
  static WebSocketEvent close(std::optional<int> code, std::string reason) {
    return WebSocketEvent(Close{code, std::move(reason)});
  }

  const Text* asText() const noexcept { return std::get_if<Text>(&value_); }
  const Binary* asBinary() const noexcept { return std::get_if<Binary>(&value_); }
  const Close* asClose() const noexcept { return std::get_if<Close>(&value_); }
  bool isClose() const noexcept { return asClose() != nullptr; }

  friend bool operator==(const WebSocketEvent&, const WebSocketEvent&) = default;
  // The case number (0, 1, 2), then the payload.
  std::size_t hashValue() const;

 private:
  explicit WebSocketEvent(std::variant<Text, Binary, Close> value) : value_(std::move(value)) {}
  std::variant<Text, Binary, Close> value_;
};

// A connection that did not open.
class WebSocketError : public std::exception {
 public:
  enum class Kind { connection };

  static WebSocketError connection(std::string message, std::exception_ptr underlying);

  Kind kind() const noexcept { return Kind::connection; }
  const std::string& message() const noexcept { return message_; }
  const std::exception_ptr& underlying() const noexcept { return underlying_; }
  // The message, one blank, and the underlying error's description.
  const std::string& localizedDescription() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  WebSocketError(std::string message, std::exception_ptr underlying);

  std::string message_;
  std::exception_ptr underlying_;
  std::string description_;
};

// The user-facing description of any error: URLError, decoding, realtime and WebSocket errors by
// their own texts, anything else by what().
std::string localizedDescription(const std::exception_ptr& error);

// Throws std::invalid_argument unless `code` is absent, 1000 or in 3000...4999 and `reason` is UTF-8 of
// at most 123 bytes: what a close may carry.
void validateCloseArguments(std::optional<int> code, const std::optional<std::string>& reason);

// One WebSocket connection as the realtime client sees it. Every member may be called from any thread.
class WebSocket {
 public:
  using EventHandler = std::function<void(const WebSocketEvent&)>;

  virtual ~WebSocket() = default;

  // Queues one text frame; nothing happens once the socket is closed, and failures only close it.
  virtual void send(std::string text) = 0;
  // With a code (1000 or 3000...4999, reason at most 123 bytes of UTF-8) a close frame; without one the
  // connection is cut. Anything else throws std::invalid_argument. The close event follows.
  virtual void close(std::optional<int> code = std::nullopt, std::optional<std::string> reason = std::nullopt) = 0;

  // The handler runs on the I/O thread while the socket's state is locked: it may read the socket,
  // but must only hand events on (enqueue), never block or close the socket from within.
  virtual EventHandler onEvent() const = 0;
  virtual void setOnEvent(EventHandler handler) = 0;

  virtual bool isClosed() const = 0;
  virtual std::optional<int> closeCode() const = 0;
  virtual std::optional<std::string> closeReason() const = 0;
  // The subprotocol the server chose, if any.
  virtual std::optional<std::string> protocol() const = 0;
};

}  // namespace zirudeze::realtime

template <>
struct std::hash<zirudeze::realtime::WebSocketEvent> {
  std::size_t operator()(const zirudeze::realtime::WebSocketEvent& event) const { return event.hashValue(); }
};
