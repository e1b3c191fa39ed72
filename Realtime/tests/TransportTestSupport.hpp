#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "realtime/URLSessionWebSocket.hpp"
#include "testsupport/Eventually.hpp"
#include "testsupport/FakeBackend.hpp"
#include "testsupport/FakeWebSockets.hpp"

namespace zirudeze::realtime {

inline void PrintTo(const WebSocketEvent& event, std::ostream* out) {
  if (const auto* text = event.asText()) *out << "text(" << ::testing::PrintToString(text->text) << ")";
  if (const auto* binary = event.asBinary()) *out << "binary(" << binary->data.size() << " bytes)";
  if (const auto* close = event.asClose()) {
    *out << "close(" << (close->code ? std::to_string(*close->code) : "none") << ", "
         << ::testing::PrintToString(close->reason) << ")";
  }
}

}  // namespace zirudeze::realtime

namespace zirudeze::realtime::testing {

using namespace std::chrono_literals;

// Collects what a socket delivers; the handler only appends, as handlers must.
class EventLog : public std::enable_shared_from_this<EventLog> {
 public:
  WebSocket::EventHandler handler() {
    return [log = shared_from_this()](const WebSocketEvent& event) {
      {
        std::lock_guard lock(log->mutex_);
        log->events_.push_back(event);
      }
      log->changed_.notify_all();
    };
  }

  bool waitFor(std::size_t count, std::chrono::milliseconds timeout = 5s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return events_.size() >= count; });
  }

  bool waitForClose(std::chrono::milliseconds timeout = 5s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return !events_.empty() && events_.back().isClose(); });
  }

  std::vector<WebSocketEvent> events() {
    std::lock_guard lock(mutex_);
    return events_;
  }

  std::size_t closeCount() {
    std::lock_guard lock(mutex_);
    std::size_t count = 0;
    for (const auto& event : events_) count += event.isClose() ? 1 : 0;
    return count;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<WebSocketEvent> events_;
};

inline velmoria::base::URL url(const std::string& text) { return *velmoria::base::URL::parse(text); }

using velmoria::testsupport::eventually;

// A loopback port nothing listens on.
std::uint16_t refusingPort();

inline WebSocketConfiguration quickConfiguration(std::vector<std::pair<std::string, std::string>> headers = {}) {
  WebSocketConfiguration configuration;
  configuration.httpAdditionalHeaders = std::move(headers);
  configuration.handshakeLimit = 3s;
  return configuration;
}

}  // namespace zirudeze::realtime::testing
