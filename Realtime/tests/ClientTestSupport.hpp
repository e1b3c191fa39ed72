#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include <gtest/gtest.h>

#include "ChannelTestSupport.hpp"
#include "concurrency/CancellationError.hpp"
#include "realtime/RealtimeClientV2.hpp"
#include "realtime/URLSessionWebSocket.hpp"
#include "testsupport/FakeBackend.hpp"
#include "testsupport/FakeRealtime.hpp"
#include "testsupport/FakeWebSockets.hpp"

namespace zirudeze::realtime::testing {

// Every value a subject stream gave, in order. Its listeners share what they record, so one still
// running on a client's task when the test ends touches nothing that is gone.
template <class T>
class Recorder {
 public:
  std::function<void(T)> listener() {
    return [shared = shared_](T value) {
      {
        const std::lock_guard lock(shared->mutex);
        shared->values.push_back(value);
      }
      shared->changed.notify_all();
    };
  }
  std::vector<T> values() const {
    const std::lock_guard lock(shared_->mutex);
    return shared_->values;
  }
  bool waitForCount(std::size_t count, std::chrono::milliseconds timeout = 5s) const {
    std::unique_lock lock(shared_->mutex);
    return shared_->changed.wait_for(lock, timeout, [&] { return shared_->values.size() >= count; });
  }

 private:
  struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<T> values;
  };
  const std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

// The URLSessionWebSocket transport, counting its calls, and held back while the gate is closed.
// Shared with the transport it hands out: a client's task may still be inside it after the test.
class GatedTransport : public std::enable_shared_from_this<GatedTransport> {
 public:
  WebSocketTransport transport() {
    return [self = shared_from_this()](
               const velmoria::base::URL& url, const std::map<std::string, std::string>& headers,
               std::stop_token stop) -> std::shared_ptr<WebSocket> { return self->open(url, headers, stop); };
  }

  std::shared_ptr<WebSocket> open(const velmoria::base::URL& url, const std::map<std::string, std::string>& headers,
                                  const std::stop_token& stop) {
    {
      ++calls;
      {
        std::unique_lock lock(mutex_);
        // A stubborn transport finishes its connect whatever the caller asks.
        changed_.wait(lock, ignoresStop ? never_.get_token() : stop, [&] { return open_; });
      }
      if (!ignoresStop && stop.stop_requested()) throw concurrency::CancellationError();
      WebSocketConfiguration configuration;
      configuration.httpAdditionalHeaders.assign(headers.begin(), headers.end());
      configuration.handshakeLimit = 3s;
      auto socket =
          URLSessionWebSocket::connect(url, std::nullopt, configuration, ignoresStop ? never_.get_token() : stop);
      ++opened;
      return socket;
    }
  }
  void setOpen(bool isOpen) {
    {
      const std::lock_guard lock(mutex_);
      open_ = isOpen;
    }
    changed_.notify_all();
  }

  std::atomic<bool> ignoresStop = false;
  std::atomic<int> calls = 0;
  std::atomic<int> opened = 0;

 private:
  // A token that can stop but never does, so the current task's cancellation is not picked up.
  std::stop_source never_;
  std::mutex mutex_;
  std::condition_variable_any changed_;
  bool open_ = true;
};

// A client of the fake realtime service over loopback, on the test clock.
class ClientTest : public ::testing::Test {
 protected:
  RealtimeClientOptions options() const {
    RealtimeClientOptions made({{"apikey", "project-key"}, {"Authorization", "Bearer initial-token"}});
    made.logger = logger;
    return made;
  }

  std::shared_ptr<RealtimeClientV2> makeClient(RealtimeClientOptions given) {
    return RealtimeClientV2::make(
        *velmoria::base::URL::parse(realtime.url()), std::move(given), gate->transport(),
        std::make_shared<helpers::HTTPClient>(helpers::HTTPClient::defaultFetch(),
                                              std::vector<std::shared_ptr<helpers::HTTPClientInterceptor>>{}));
  }
  std::shared_ptr<RealtimeClientV2> makeClient() { return makeClient(options()); }

  // Connects `client` and waits until the service holds the connection open too: the client hears the
  // upgrade's answer before the service counts the connection, so what the service sends "to every open
  // connection" right after connect() could otherwise reach none.
  bool connected(RealtimeClientV2& client) {
    client.connect();
    return eventually(
        [&] { return client.status() == RealtimeClientStatus::connected && realtime.openConnectionCount() == 1; });
  }

  // A joined channel of `client`.
  std::shared_ptr<RealtimeChannelV2> joined(RealtimeClientV2& client, const std::string& name,
                                            const std::function<void(RealtimeChannelConfig&)>& configure = {}) {
    const auto channel = client.channel(name, configure);
    channel->subscribeWithError();
    EXPECT_EQ(channel->status(), RealtimeChannelStatus::subscribed) << name;
    return channel;
  }

  // Moves the clock a second at a time, letting the network work in between, until `condition` holds.
  bool advanceUntil(const std::function<bool()>& condition, int seconds = 120) {
    for (int step = 0; step < seconds; ++step) {
      if (eventually(condition, 20ms)) return true;
      time.advance(1s);
    }
    return eventually(condition, 1s);
  }

  std::size_t loggedStartingWith(const std::string& prefix) const {
    std::size_t count = 0;
    for (const auto& text : logger->messages()) count += text.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
  }

  // The events connection `index` sent, in order.
  std::vector<std::string> eventsOf(std::size_t index) const {
    std::vector<std::string> events;
    for (const auto& message : realtime.received(index)) events.push_back(message.value("event", std::string()));
    return events;
  }

  TestClockScope time;
  std::shared_ptr<helpers::CapturingLogger> logger = std::make_shared<helpers::CapturingLogger>();
  std::shared_ptr<GatedTransport> gate = std::make_shared<GatedTransport>();
  velmoria::testsupport::FakeBackend backend;
  velmoria::testsupport::FakeWebSockets sockets{backend};
  velmoria::testsupport::FakeRealtime realtime{backend, sockets};
};

}  // namespace zirudeze::realtime::testing
