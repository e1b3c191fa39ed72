#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "clocks/TestClock.hpp"
#include "helpers/CapturingLogger.hpp"
#include "helpers/HTTPClient.hpp"
#include "helpers/SleepClock.hpp"
#include "issuereporting/IssueReporters.hpp"
#include "issuereporting/testing/RecordingReporter.hpp"
#include "realtime/RealtimeChannelV2.hpp"
#include "realtime/RealtimeClientProtocol.hpp"
#include "testsupport/Eventually.hpp"

namespace zirudeze::realtime::testing {

using namespace std::chrono_literals;

// A client that records what channels push and answers as a test scripts it.
class FakeRealtimeClient final : public RealtimeClientProtocol {
 public:
  explicit FakeRealtimeClient(RealtimeClientOptions options = defaultOptions(),
                              velmoria::base::URL url = *velmoria::base::URL::parse("http://127.0.0.1:9/realtime/v1"))
      : options_(std::move(options)), url_(std::move(url)) {}

  static RealtimeClientOptions defaultOptions() {
    return RealtimeClientOptions({{"apikey", "key"}, {"X-Client-Info", "vededore-dorod/2.41.1"}});
  }

  RealtimeClientStatus status() const override {
    const std::lock_guard lock(mutex_);
    return status_;
  }
  void setStatus(RealtimeClientStatus status) {
    const std::lock_guard lock(mutex_);
    status_ = status;
  }
  // Becomes connected when `connects`, else returns as a failed connect would.
  void connect() override {
    const std::lock_guard lock(mutex_);
    ++connects_;
    if (connectSucceeds_) status_ = RealtimeClientStatus::connected;
  }
  void setConnectSucceeds(bool succeeds) {
    const std::lock_guard lock(mutex_);
    connectSucceeds_ = succeeds;
  }
  int connectCount() const {
    const std::lock_guard lock(mutex_);
    return connects_;
  }

  void push(RealtimeMessageV2 message) override {
    std::function<void(const RealtimeMessageV2&)> answer;
    {
      const std::lock_guard lock(mutex_);
      pushes_.push_back(message);
      answer = onPush_;
    }
    changed_.notify_all();
    if (answer) answer(message);
  }
  // Runs on the pushing thread with every pushed message (to answer it, say).
  void onPush(std::function<void(const RealtimeMessageV2&)> answer) {
    const std::lock_guard lock(mutex_);
    onPush_ = std::move(answer);
  }
  std::vector<RealtimeMessageV2> pushes() const {
    const std::lock_guard lock(mutex_);
    return pushes_;
  }
  std::vector<RealtimeMessageV2> pushesWithEvent(const std::string& event) const {
    std::vector<RealtimeMessageV2> found;
    for (const auto& message : pushes())
      if (message.event() == event) found.push_back(message);
    return found;
  }
  bool waitForPushes(const std::string& event, std::size_t count, std::chrono::milliseconds timeout = 5s) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
      std::size_t seen = 0;
      for (const auto& message : pushes_) seen += message.event() == event ? 1 : 0;
      return seen >= count;
    });
  }

  std::string makeRef() override {
    const std::lock_guard lock(mutex_);
    return std::to_string(++ref_);
  }
  void removeChannelFromRegistry(const std::string& topic) override {
    const std::lock_guard lock(mutex_);
    removed_.push_back(topic);
  }
  std::vector<std::string> removedTopics() const {
    const std::lock_guard lock(mutex_);
    return removed_;
  }
  bool registerChannel(const std::shared_ptr<RealtimeChannelV2>&) override { return true; }

  const RealtimeClientOptions& options() const override { return options_; }
  RealtimeClientOptions& mutableOptions() { return options_; }
  const velmoria::base::URL& url() const override { return url_; }
  std::optional<std::string> accessToken() const override {
    const std::lock_guard lock(mutex_);
    return accessToken_;
  }
  void setAccessToken(std::optional<std::string> token) {
    const std::lock_guard lock(mutex_);
    accessToken_ = std::move(token);
  }
  std::shared_ptr<helpers::HTTPClientType> http() const override { return http_; }

 private:
  RealtimeClientOptions options_;
  velmoria::base::URL url_;
  std::shared_ptr<helpers::HTTPClientType> http_ = std::make_shared<helpers::HTTPClient>(
      helpers::HTTPClient::defaultFetch(), std::vector<std::shared_ptr<helpers::HTTPClientInterceptor>>{});
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  RealtimeClientStatus status_ = RealtimeClientStatus::connected;
  bool connectSucceeds_ = true;
  int connects_ = 0;
  std::int64_t ref_ = 0;
  std::optional<std::string> accessToken_;
  std::vector<RealtimeMessageV2> pushes_;
  std::vector<std::string> removed_;
  std::function<void(const RealtimeMessageV2&)> onPush_;
};

// The process's sleeping clock replaced by a test clock for the test's duration.
class TestClockScope {
 public:
  TestClockScope() : scope_(std::make_shared<helpers::TestClockSleepClock>(clock)) {}

  // Lets the sleepers run until `count` are parked (or the time passes).
  bool waitForSleepers(std::size_t count, std::chrono::milliseconds timeout = 5s) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (clock->suspensionCount() < count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }
  void advance(std::chrono::nanoseconds by) const { clock->advance(by); }

  const std::shared_ptr<clocks::TestClock> clock = std::make_shared<clocks::TestClock>();

 private:
  helpers::ScopedSleepClock scope_;
};

using velmoria::testsupport::eventually;

inline helpers::JSONObject json(std::string_view text) { return *helpers::AnyJSON::parse(text)->objectValue(); }

inline RealtimeMessageV2 message(std::string topic, std::string event, std::string_view payload,
                                 std::optional<std::string> ref = std::nullopt) {
  return RealtimeMessageV2(std::nullopt, std::move(ref), std::move(topic), std::move(event), json(payload));
}

// How many log records hold exactly `text`.
inline std::size_t logged(const helpers::CapturingLogger& logger, const std::string& text) {
  std::size_t count = 0;
  for (const auto& record : logger.messages()) count += record == text ? 1 : 0;
  return count;
}

// Runs `body` with a recording issue reporter in force and returns the reported texts.
template <class Body>
std::vector<std::string> reportedIssues(Body&& body) {
  const auto reporter = std::make_shared<issuereporting::testing::RecordingReporter>();
  issuereporting::withIssueReporters({reporter}, std::forward<Body>(body));
  std::vector<std::string> texts;
  for (const auto& call : reporter->calls()) texts.push_back(call.text);
  return texts;
}

// A channel on a fake client, the way the client makes them.
struct ChannelFixture {
  explicit ChannelFixture(RealtimeChannelConfig config = {},
                          RealtimeClientOptions options = FakeRealtimeClient::defaultOptions()) {
    client = std::make_shared<FakeRealtimeClient>(std::move(options));
    channel = RealtimeChannelV2::make("realtime:room", config, client, logger);
  }

  // Answers every join with an accepted reply (the server's ids for `serverChanges`) at once.
  void answerJoins(std::string serverChanges = "[]") {
    client->onPush([this, serverChanges](const RealtimeMessageV2& pushed) {
      if (pushed.event() != "phx_join") return;
      channel->onMessage(
          RealtimeMessageV2(pushed.ref(), pushed.ref(), pushed.topic(), "phx_reply",
                            json(R"({"status":"ok","response":{"postgres_changes":)" + serverChanges + "}}")));
    });
  }

  void join(std::string serverChanges = "[]") {
    answerJoins(std::move(serverChanges));
    channel->subscribeWithError();
    ASSERT_EQ(channel->status(), RealtimeChannelStatus::subscribed);
  }

  std::shared_ptr<helpers::CapturingLogger> logger = std::make_shared<helpers::CapturingLogger>();
  std::shared_ptr<FakeRealtimeClient> client;
  std::shared_ptr<RealtimeChannelV2> channel;
};

}  // namespace zirudeze::realtime::testing
