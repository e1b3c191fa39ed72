#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "clocks/TestClock.hpp"
#include "realtime/legacy/RealtimeChannel.hpp"
#include "realtime/legacy/RealtimeClient.hpp"
#include "realtime/legacy/SocketTransport.hpp"
#include "realtime/legacy/TimerQueue.hpp"
#include "testsupport/Eventually.hpp"

namespace zirudeze::realtime::testing {

using namespace std::chrono_literals;
using Json = nlohmann::json;

using velmoria::testsupport::eventually;

// A transport the test drives: it records what the client does and reports what the test says, on the
// test's thread.
class FakeSocketTransport final : public SocketTransport {
 public:
  explicit FakeSocketTransport(velmoria::base::URL url) : url_(std::move(url)) {}

  const velmoria::base::URL& url() const { return url_; }

  SocketTransportReadyState readyState() const override {
    std::lock_guard lock(mutex_);
    return readyState_;
  }
  std::shared_ptr<SocketTransportDelegate> delegate() const override {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
  }
  void setDelegate(std::weak_ptr<SocketTransportDelegate> delegate) override {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
  }
  void connect(const std::map<std::string, std::string>& headers) override {
    std::lock_guard lock(mutex_);
    readyState_ = SocketTransportReadyState::connecting;
    headers_ = headers;
    ++connects_;
  }
  void disconnect(int code, const std::optional<std::string>& reason) override {
    std::lock_guard lock(mutex_);
    readyState_ = SocketTransportReadyState::closing;
    disconnects_.emplace_back(code, reason);
  }
  void send(const velmoria::base::Data& data) override {
    std::lock_guard lock(mutex_);
    sent_.emplace_back(data.begin(), data.end());
  }

  // What the server side would cause.
  void open() {
    setState(SocketTransportReadyState::open);
    if (const auto target = delegate()) {
      helpers::HTTPURLResponse response;
      response.statusCode = 101;
      target->onOpen(response);
    }
  }
  void receive(const std::string& text) {
    if (const auto target = delegate()) target->onMessage(text);
  }
  void receive(const Json& array) { receive(array.dump()); }
  void close(int code, const std::optional<std::string>& reason = std::nullopt) {
    setState(SocketTransportReadyState::closed);
    if (const auto target = delegate()) target->onClose(code, reason);
  }
  void fail(const std::string& description) {
    setState(SocketTransportReadyState::closed);
    if (const auto target = delegate()) {
      target->onError(std::make_exception_ptr(std::runtime_error(description)), std::nullopt);
      target->onClose(999, description);
    }
  }

  std::vector<std::string> sent() const {
    std::lock_guard lock(mutex_);
    return sent_;
  }
  std::vector<Json> sentArrays() const {
    std::vector<Json> arrays;
    for (const auto& text : sent()) arrays.push_back(Json::parse(text));
    return arrays;
  }
  // The sent arrays of one event.
  std::vector<Json> sentOf(const std::string& event) const {
    std::vector<Json> found;
    for (auto& array : sentArrays()) {
      if (array[3] == event) found.push_back(std::move(array));
    }
    return found;
  }
  void clearSent() {
    std::lock_guard lock(mutex_);
    sent_.clear();
  }
  std::map<std::string, std::string> headers() const {
    std::lock_guard lock(mutex_);
    return headers_;
  }
  std::vector<std::pair<int, std::optional<std::string>>> disconnects() const {
    std::lock_guard lock(mutex_);
    return disconnects_;
  }
  int connects() const {
    std::lock_guard lock(mutex_);
    return connects_;
  }

 private:
  void setState(SocketTransportReadyState state) {
    std::lock_guard lock(mutex_);
    readyState_ = state;
  }

  const velmoria::base::URL url_;
  mutable std::mutex mutex_;
  SocketTransportReadyState readyState_ = SocketTransportReadyState::closed;
  std::weak_ptr<SocketTransportDelegate> delegate_;
  std::map<std::string, std::string> headers_;
  std::vector<std::pair<int, std::optional<std::string>>> disconnects_;
  std::vector<std::string> sent_;
  int connects_ = 0;
};

// Every transport a client made, in order.
class FakeTransports {
 public:
  RealtimeClient::TransportFactory factory() {
    return [this](const velmoria::base::URL& url) {
      auto made = std::make_shared<FakeSocketTransport>(url);
      std::lock_guard lock(mutex_);
      made_.push_back(made);
      return made;
    };
  }
  std::size_t count() const {
    std::lock_guard lock(mutex_);
    return made_.size();
  }
  std::shared_ptr<FakeSocketTransport> at(std::size_t index) const {
    std::lock_guard lock(mutex_);
    return made_.at(index);
  }
  std::shared_ptr<FakeSocketTransport> last() const {
    std::lock_guard lock(mutex_);
    return made_.empty() ? nullptr : made_.back();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<FakeSocketTransport>> made_;
};

// Log lines a client wrote.
class LogLines {
 public:
  RealtimeClient::Logger logger() {
    return [this](const std::string& line) {
      std::lock_guard lock(mutex_);
      lines_.push_back(line);
    };
  }
  std::vector<std::string> lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  bool contains(const std::string& line) const {
    for (const auto& seen : lines())
      if (seen == line) return true;
    return false;
  }
  bool containsText(const std::string& part) const {
    for (const auto& seen : lines())
      if (seen.find(part) != std::string::npos) return true;
    return false;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

// Tests whose timers run on a test clock: the heartbeat, timeouts and back-offs move only with advance.
class TestClockTimers : public ::testing::Test {
 protected:
  // Waits until the timer thread ran what is due and sleeps until its next deadline.
  void settle() {
    ASSERT_TRUE(eventually([&] {
      const auto& queue = timers.queue();
      return queue->isSettled() && (queue->pendingCount() == 0 || clock->suspensionCount() > 0);
    }));
  }
  void advance(double seconds) {
    settle();
    clock->advance(std::chrono::round<clocks::Duration>(std::chrono::duration<double>(seconds)));
    settle();
  }

  std::shared_ptr<clocks::TestClock> clock = std::make_shared<clocks::TestClock>();
  TimerQueue::ScopedOverride timers{clock};
};

// A client on fake transports and the test clock, with its log.
class FakeSocketTest : public TestClockTimers {
 protected:
  std::shared_ptr<RealtimeClient> makeClient(std::optional<helpers::JSONObject> params = helpers::JSONObject{
                                                 {"apikey", "anon-key"}}) {
    auto made = RealtimeClient::make("https://project.example/realtime/v1", {{"apikey", "anon-key"}},
                                     transports.factory(), [params] { return params; });
    made->setLogger(log.logger());
    // Tests that run long on the clock would otherwise see the heartbeat close an unanswering socket.
    made->setSkipHeartbeat(true);
    return made;
  }
  // Connects and opens the client's transport.
  std::shared_ptr<FakeSocketTransport> open(RealtimeClient& target) {
    target.connect();
    auto transport = transports.last();
    transport->open();
    return transport;
  }

  FakeTransports transports;
  LogLines log;
};

}  // namespace zirudeze::realtime::testing
