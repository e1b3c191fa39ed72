#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "clocks/TestClock.hpp"
#include "concurrency/CancellationError.hpp"
#include "concurrency/Task.hpp"
#include "helpers/HTTPClient.hpp"
#include "helpers/RetryRequestInterceptor.hpp"
#include "helpers/URLError.hpp"
#include "testsupport/FakeBackend.hpp"

namespace zirudeze::helpers {
namespace {

using namespace std::chrono_literals;
using Method = HTTPRequest::Method;
using velmoria::testsupport::FakeBackend;
using velmoria::testsupport::ScriptedResponse;

// Back-off waits go to a test clock; the test advances it, so nothing waits for real seconds.
struct TestSleeper {
  std::shared_ptr<clocks::TestClock> clock = std::make_shared<clocks::TestClock>();
  std::shared_ptr<std::vector<double>> waits = std::make_shared<std::vector<double>>();
  std::shared_ptr<std::mutex> mutex = std::make_shared<std::mutex>();

  RetryRequestInterceptor::Sleep sleep() const {
    return [clock = clock, waits = waits, mutex = mutex](double seconds) {
      {
        std::lock_guard lock(*mutex);
        waits->push_back(seconds);
      }
      clock->sleep(std::chrono::duration_cast<clocks::Duration>(std::chrono::duration<double>(seconds)));
    };
  }
  std::vector<double> recorded() const {
    std::lock_guard lock(*mutex);
    return *waits;
  }
  // Waits (in real time) until wait number `index` is parked, then moves the clock past its deadline.
  bool releaseWait(std::size_t index, std::chrono::milliseconds patience = 2s) const {
    const auto until = std::chrono::steady_clock::now() + patience;
    while (recorded().size() <= index || clock->suspensionCount() == 0) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(1ms);
    }
    // Exactly the wait: a shorter advance would leave the sleeper parked, a longer one could also
    // release the next wait.
    clock->advance(std::chrono::duration_cast<clocks::Duration>(std::chrono::duration<double>(recorded()[index])));
    return true;
  }
};

// The outcome of a send running on `task`. One still going after a few seconds of real time (a retry
// too many is parked on the test clock) fails the test, saying `why`, and is cancelled.
Result<HTTPResponse> resultWithin(const Task<HTTPResponse>& task, const std::function<std::string()>& why) {
  const auto until = std::chrono::steady_clock::now() + 5s;
  while (!task.isFinished() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
  if (!task.isFinished()) {
    ADD_FAILURE() << "the send is still going " << why();
    task.cancel();
  }
  return task.result();
}

class RetryTest : public ::testing::Test {
 protected:
  HTTPClient client(int retryLimit = 2, double scale = 0.5,
                    std::unordered_set<Method> methods = RetryRequestInterceptor::defaultRetryableHTTPMethods()) {
    auto retry = std::make_shared<RetryRequestInterceptor>(
        retryLimit, 2, scale, std::move(methods), RetryRequestInterceptor::defaultRetryableHTTPStatusCodes(),
        RetryRequestInterceptor::defaultRetryableErrorCodes(), sleeper.sleep());
    return HTTPClient(HTTPClient::defaultFetch(), {retry});
  }

  HTTPRequest request(const std::string& path, const Method& method = Method::get()) {
    return *HTTPRequest::make(backend.url(path), method);
  }

  // Sends on a task while this thread plays the clock.
  Result<HTTPResponse> sendReleasingWaits(HTTPClient& client, const HTTPRequest& request, int waits) {
    // Counted before the send starts: a quick first attempt may ask for its wait at once.
    const std::size_t before = sleeper.recorded().size();
    Task task([&client, request] { return client.send(request); });
    for (int i = 0; i < waits; ++i) EXPECT_TRUE(sleeper.releaseWait(before + i)) << "wait " << i;
    return resultWithin(task, [&] {
      return "after " + std::to_string(waits) +
             " released wait(s); waits asked for: " + std::to_string(sleeper.recorded().size() - before);
    });
  }

  FakeBackend backend;
  TestSleeper sleeper;
};

TEST_F(RetryTest, RetriesARetryableStatusOnceAfterOneSecond) {
  backend.script("GET", "/s", {ScriptedResponse::text(503, "busy"), ScriptedResponse::text(200, "ok")});
  auto http = client();
  const auto result = sendReleasingWaits(http, request("/s"), 1);
  EXPECT_EQ(result.get().statusCode, 200);
  EXPECT_EQ(backend.requestCount(), 2u);
  EXPECT_EQ(sleeper.recorded(), std::vector<double>{1.0});
}

TEST_F(RetryTest, ReturnsTheLastRetryableResponseWhenAttemptsRunOut) {
  backend.respond("GET", "/s", ScriptedResponse::text(503, "still busy"));
  auto http = client();
  const auto result = sendReleasingWaits(http, request("/s"), 1);
  EXPECT_EQ(result.get().statusCode, 503);
  EXPECT_EQ(backend.requestCount(), 2u);
}

TEST_F(RetryTest, OnlyIdempotentMethodsAndListedStatusesAreRetried) {
  backend.respond("*", "/s", ScriptedResponse::text(503, "busy"));
  backend.respond("GET", "/n", ScriptedResponse::text(501, "not implemented"));
  backend.respond("GET", "/bad", ScriptedResponse::text(400, "bad"));
  auto http = client();
  EXPECT_EQ(sendReleasingWaits(http, request("/s", Method::post()), 0).get().statusCode, 503);
  EXPECT_EQ(sendReleasingWaits(http, request("/s", Method::patch()), 0).get().statusCode, 503);
  EXPECT_EQ(sendReleasingWaits(http, request("/n"), 0).get().statusCode, 501);
  EXPECT_EQ(sendReleasingWaits(http, request("/bad"), 0).get().statusCode, 400);
  EXPECT_EQ(backend.requestCount(), 4u);
  EXPECT_TRUE(sleeper.recorded().empty());

  // The auth client adds POST to the methods.
  auto methods = RetryRequestInterceptor::defaultRetryableHTTPMethods();
  methods.insert(Method::post());
  auto withPost = client(2, 0.5, methods);
  backend.clearRequests();
  sendReleasingWaits(withPost, request("/s", Method::post()), 1);
  EXPECT_EQ(backend.requestCount(), 2u);
}

TEST_F(RetryTest, EachRetryableStatusIsRetriedOnceAndItsNeighboursAreNot) {
  auto http = client();
  for (const int status : {408, 500, 502, 503, 504}) {
    SCOPED_TRACE(status);
    const auto path = "/r" + std::to_string(status);
    backend.script("GET", path, {ScriptedResponse::text(status, "again"), ScriptedResponse::text(200, "ok")});
    backend.clearRequests();
    EXPECT_EQ(sendReleasingWaits(http, request(path), 1).get().statusCode, 200);
    EXPECT_EQ(backend.requestCount(), 2u);
  }
  for (const int status : {407, 409, 429, 499, 501, 505}) {
    SCOPED_TRACE(status);
    const auto path = "/n" + std::to_string(status);
    backend.respond("GET", path, ScriptedResponse::text(status, "final"));
    backend.clearRequests();
    EXPECT_EQ(sendReleasingWaits(http, request(path), 0).get().statusCode, status);
    EXPECT_EQ(backend.requestCount(), 1u);
  }
  EXPECT_EQ(sleeper.recorded().size(), 5u);
}

TEST_F(RetryTest, RetriesTransientTransportErrorsButNotOthers) {
  backend.script("GET", "/drop", {ScriptedResponse::dropped(), ScriptedResponse::text(200, "back")});
  auto http = client();
  EXPECT_EQ(sendReleasingWaits(http, request("/drop"), 1).get().statusCode, 200);

  const RetryRequestInterceptor retry;
  const auto get = request("/x");
  const auto failure = [](auto error) { return Result<HTTPResponse>::failure(std::make_exception_ptr(error)); };
  EXPECT_TRUE(retry.shouldRetry(get, failure(URLError(URLError::Code::timedOut))));
  EXPECT_TRUE(retry.shouldRetry(get, failure(URLError(URLError::Code::networkConnectionLost))));
  EXPECT_FALSE(retry.shouldRetry(get, failure(URLError(URLError::Code::cancelled))));
  EXPECT_FALSE(retry.shouldRetry(get, failure(URLError(URLError::Code::serverCertificateUntrusted))));
  EXPECT_FALSE(retry.shouldRetry(get, failure(std::runtime_error("not a transport error"))));
  EXPECT_FALSE(retry.shouldRetry(request("/x", Method::post()), failure(URLError(URLError::Code::timedOut))));
  EXPECT_EQ(RetryRequestInterceptor::defaultRetryableErrorCodes().size(), 18u);
}

TEST_F(RetryTest, LastErrorIsRethrownUnchanged) {
  backend.respond("GET", "/drop", ScriptedResponse::dropped());
  auto http = client();
  const auto result = sendReleasingWaits(http, request("/drop"), 1);
  try {
    result.get();
    FAIL() << "expected the transport error";
  } catch (const URLError& error) {
    EXPECT_EQ(error.code(), URLError::Code::networkConnectionLost);
  }
  EXPECT_EQ(backend.requestCount(), 2u);
}

TEST_F(RetryTest, AttemptCountAndBackoffFollowTheLimitAndScale) {
  backend.respond("GET", "/s", ScriptedResponse::text(503, "busy"));
  auto once = client(1);
  EXPECT_EQ(sendReleasingWaits(once, request("/s"), 0).get().statusCode, 503);
  EXPECT_EQ(backend.requestCount(), 1u);

  backend.clearRequests();
  auto four = client(4);
  sendReleasingWaits(four, request("/s"), 3);
  EXPECT_EQ(backend.requestCount(), 4u);
  EXPECT_EQ(sleeper.recorded(), (std::vector<double>{1.0, 2.0, 4.0}));

  const RetryRequestInterceptor small(2, 2, 0.3);
  EXPECT_EQ(small.backoffSeconds(1), 0.0);
  EXPECT_EQ(small.backoffSeconds(2), 1.0);
  const RetryRequestInterceptor base3(5, 3, 1.5);
  EXPECT_EQ(base3.backoffSeconds(2), 13.0);
}

TEST_F(RetryTest, CancellingDuringTheWaitDeliversTheFirstOutcomeAtOnce) {
  backend.script("GET", "/s", {ScriptedResponse::text(503, "first"), ScriptedResponse::text(200, "never")});
  auto http = client();
  const auto get = request("/s");
  Task task([&http, get] { return http.send(get); });
  const auto until = std::chrono::steady_clock::now() + 2s;
  while (sleeper.clock->suspensionCount() == 0 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(1ms);
  ASSERT_EQ(sleeper.clock->suspensionCount(), 1u);
  task.cancel();
  const auto response = task.result().get();
  EXPECT_EQ(response.statusCode, 503);
  EXPECT_EQ(velmoria::base::stringFromData(response.data), "first");
  EXPECT_EQ(backend.requestCount(), 1u);
}

TEST_F(RetryTest, CancellingDuringATransferAbortsItWithoutRetrying) {
  backend.respond("GET", "/hang", ScriptedResponse::text(200, "late").after(5s));
  auto http = client();
  const auto get = request("/hang");
  Task task([&http, get] { return http.send(get); });
  ASSERT_TRUE(backend.waitForRequests(1, 2s));
  const auto start = std::chrono::steady_clock::now();
  task.cancel();
  try {
    task.value();
    FAIL() << "expected cancellation";
  } catch (const URLError& error) {
    EXPECT_EQ(error.code(), URLError::Code::cancelled);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(backend.requestCount(), 1u);
  EXPECT_TRUE(sleeper.recorded().empty());
}

TEST_F(RetryTest, ConcurrentRequestsRetryIndependently) {
  std::atomic<int> hits{0};
  backend.route("GET", "/s", [&](const velmoria::testsupport::RecordedRequest&) {
    return ScriptedResponse::text(hits++ % 2 == 0 ? 503 : 200, "x");
  });
  auto http = client();
  std::vector<Task<HTTPResponse>> tasks;
  backend.route("GET", "/a",
                [](const velmoria::testsupport::RecordedRequest&) { return ScriptedResponse::text(503, "a"); });
  for (int i = 0; i < 3; ++i) {
    const auto get = request("/a");
    tasks.emplace_back([&http, get] { return http.send(get); });
  }
  const auto until = std::chrono::steady_clock::now() + 3s;
  while (sleeper.clock->suspensionCount() < 3 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(1ms);
  ASSERT_EQ(sleeper.clock->suspensionCount(), 3u);
  sleeper.clock->advance(std::chrono::seconds(1));
  for (auto& task : tasks) {
    EXPECT_EQ(resultWithin(task, [] { return std::string("after its one wait was released"); }).get().statusCode, 503);
  }
  EXPECT_EQ(backend.requestCount(), 6u);
}

TEST(RetryDeathTest, BaseBelowTwoStopsTheProgram) {
  EXPECT_DEATH(RetryRequestInterceptor(2, 1), "exponentialBackoffBase");
}

}  // namespace
}  // namespace zirudeze::helpers
