#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "helpers/CurlTransport.hpp"
#include "helpers/HTTPClient.hpp"
#include "helpers/RetryRequestInterceptor.hpp"
#include "helpers/URLError.hpp"
#include "testsupport/FakeBackend.hpp"
#include "testsupport/FakeTLSFront.hpp"
#include "testsupport/TestCertificateAuthority.hpp"

namespace zirudeze::helpers {
namespace {

using namespace std::chrono_literals;
using velmoria::testsupport::FakeBackend;
using velmoria::testsupport::ScriptedResponse;

URLError::Code failureCode(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const URLError& error) {
    return error.code();
  }
  ADD_FAILURE() << "expected a URLError";
  return URLError::Code::unknown;
}

// The code's name, so a mismatch reads as names.
std::string failureName(const std::function<void()>& operation) { return urlErrorCodeName(failureCode(operation)); }

const HTTPURLResponse& http(const FetchResult& result) {
  const auto* response = dynamic_cast<const HTTPURLResponse*>(result.second.get());
  if (!response) throw std::runtime_error("not an HTTP response");
  return *response;
}

class CurlTransportTest : public ::testing::Test {
 protected:
  URLRequest request(const std::string& path, std::string method = "GET") {
    URLRequest request;
    request.url = backend.url(path);
    request.httpMethod = std::move(method);
    return request;
  }

  FakeBackend backend;
  CurlTransport transport;
};

TEST_F(CurlTransportTest, PutsMethodHeadersAndBodyOnTheWire) {
  backend.respond("*", "/echo", ScriptedResponse::json(201, R"({"ok":true})"));
  auto patch = request("/echo?a=1&b=x%20y", "PATCH");
  patch.setValue("Bearer abc", "Authorization");
  patch.setValue("application/json", "Content-Type");
  patch.httpBody = velmoria::base::dataFromString(R"({"k":1})");
  const auto result = transport.data(patch);

  EXPECT_EQ(http(result).statusCode, 201);
  EXPECT_EQ(velmoria::base::stringFromData(result.first), R"({"ok":true})");
  const auto seen = backend.lastRequest();
  EXPECT_EQ(seen.method, "PATCH");
  EXPECT_EQ(seen.path, "/echo");
  EXPECT_EQ(seen.queryValue("b"), "x y");
  EXPECT_EQ(seen.header("authorization"), "Bearer abc");
  EXPECT_EQ(seen.header("Content-Type"), "application/json");
  EXPECT_EQ(seen.body, R"({"k":1})");
  EXPECT_FALSE(seen.header("Expect"));
}

TEST_F(CurlTransportTest, AddsNoContentTypeOfItsOwnAndSendsEmptyPosts) {
  backend.respond("*", "/p", ScriptedResponse::text(200, "x"));
  auto post = request("/p", "POST");
  post.httpBody = velmoria::base::dataFromString("raw");
  transport.data(post);
  EXPECT_FALSE(backend.lastRequest().header("Content-Type"));

  transport.data(request("/p", "POST"));
  EXPECT_EQ(backend.lastRequest().header("Content-Length"), "0");
  EXPECT_EQ(backend.lastRequest().method, "POST");

  transport.data(request("/p", "DELETE"));
  EXPECT_EQ(backend.lastRequest().method, "DELETE");

  auto upload = request("/p", "PUT");
  transport.upload(upload, velmoria::base::dataFromString("file bytes"));
  EXPECT_EQ(backend.lastRequest().method, "PUT");
  EXPECT_EQ(backend.lastRequest().body, "file bytes");
}

TEST_F(CurlTransportTest, HeadRequestsCarryNoBody) {
  backend.respond("HEAD", "/h", ScriptedResponse::text(200, "not sent"));
  const auto result = transport.data(request("/h", "HEAD"));
  EXPECT_EQ(http(result).statusCode, 200);
  EXPECT_TRUE(result.first.empty());
  EXPECT_EQ(http(result).expectedContentLength, 8);
}

TEST_F(CurlTransportTest, ReportsStatusHeadersAndLength) {
  backend.respond("GET", "/r",
                  ScriptedResponse::json(404, R"({"message":"gone"})")
                      .withHeader("X-Dup", "one")
                      .withHeader("x-dup", "two")
                      .withHeader("Set-Cookie", "a=1"));
  const auto result = transport.data(request("/r"));
  const auto& response = http(result);
  EXPECT_EQ(response.statusCode, 404);
  EXPECT_EQ(response.value("X-DUP"), "one, two");
  EXPECT_EQ(response.value("content-type"), "application/json");
  EXPECT_EQ(response.mimeType, "application/json");
  EXPECT_EQ(response.expectedContentLength, 18);
  EXPECT_EQ(response.url, backend.url("/r"));
}

TEST_F(CurlTransportTest, UnknownLengthIsMinusOne) {
  ScriptedResponse chunked;
  chunked.chunks = {"ab", "cd"};
  backend.respond("GET", "/c", chunked);
  const auto result = transport.data(request("/c"));
  EXPECT_EQ(velmoria::base::stringFromData(result.first), "abcd");
  EXPECT_EQ(http(result).expectedContentLength, -1);
}

TEST_F(CurlTransportTest, DropsInvalidHeaderNamesButKeepsTheResponse) {
  ScriptedResponse raw;
  raw.raw =
      "HTTP/1.1 200 OK\r\nbad header: x\r\n(x): y\r\nGood: yes\r\nFolded: a\r\n b\r\nContent-Length: 2\r\n"
      "Connection: close\r\n\r\nok";
  backend.respond("GET", "/raw", raw);
  const auto result = transport.data(request("/raw"));
  const auto& response = http(result);
  EXPECT_EQ(response.statusCode, 200);
  EXPECT_EQ(velmoria::base::stringFromData(result.first), "ok");
  EXPECT_EQ(response.value("Good"), "yes");
  EXPECT_EQ(response.value("Folded"), "a b");
  for (const auto& [name, value] : response.allHeaderFields) {
    EXPECT_EQ(name.find_first_of(" ()"), std::string::npos) << name;
  }
}

TEST_F(CurlTransportTest, ReusesOneConnectionForSequentialRequests) {
  backend.respond("GET", "/k", ScriptedResponse::text(200, "k"));
  for (int i = 0; i < 5; ++i) transport.data(request("/k"));
  EXPECT_EQ(backend.connectionCount(), 1);
}

// Handles are pooled and keep their options between transfers: each request must still go out as its own.
TEST_F(CurlTransportTest, ARequestCarriesNothingOverFromTheOneBeforeIt) {
  backend.respond("*", "/r", ScriptedResponse::text(200, "answer"));
  auto post = request("/r", "POST");
  post.setValue("first", "X-First");
  post.setValue("text/plain", "Content-Type");
  post.httpBody = velmoria::base::dataFromString("posted");
  transport.data(post);
  EXPECT_EQ(backend.lastRequest().body, "posted");

  const auto get = transport.data(request("/r"));
  auto seen = backend.lastRequest();
  EXPECT_EQ(seen.method, "GET");
  EXPECT_EQ(seen.body, "");
  EXPECT_FALSE(seen.header("X-First"));
  EXPECT_FALSE(seen.header("Content-Type"));
  EXPECT_FALSE(seen.header("Content-Length"));
  EXPECT_EQ(velmoria::base::stringFromData(get.first), "answer");

  transport.data(request("/r", "HEAD"));
  EXPECT_EQ(backend.lastRequest().method, "HEAD");
  EXPECT_EQ(velmoria::base::stringFromData(transport.data(request("/r")).first), "answer");
  EXPECT_EQ(backend.lastRequest().method, "GET");

  transport.data(request("/r", "DELETE"));
  EXPECT_EQ(backend.lastRequest().method, "DELETE");
  auto again = request("/r");
  again.setValue("second", "X-Second");
  transport.data(again);
  seen = backend.lastRequest();
  EXPECT_EQ(seen.method, "GET");
  EXPECT_EQ(seen.header("X-Second"), "second");
  EXPECT_FALSE(seen.header("X-First"));

  // The same fields again, with a value changed, go out changed.
  again.setValue("changed", "X-Second");
  transport.data(again);
  EXPECT_EQ(backend.lastRequest().header("X-Second"), "changed");
  EXPECT_EQ(backend.connectionCount(), 1);
}

TEST_F(CurlTransportTest, RefusesHeaderInjection) {
  auto bad = request("/x");
  bad.allHTTPHeaderFields.emplace_back("X-A", "1\r\nX-B: 2");
  EXPECT_EQ(failureCode([&] { transport.data(bad); }), URLError::Code::badURL);
  EXPECT_EQ(backend.requestCount(), 0u);
}

TEST_F(CurlTransportTest, MapsTransportFailuresToPlatformCodes) {
  backend.respond("GET", "/drop", ScriptedResponse::dropped());
  EXPECT_EQ(failureCode([&] { transport.data(request("/drop")); }), URLError::Code::networkConnectionLost);

  ScriptedResponse truncated = ScriptedResponse::text(200, "half");
  truncated.truncateBody = true;
  backend.respond("GET", "/trunc", truncated);
  EXPECT_EQ(failureCode([&] { transport.data(request("/trunc")); }), URLError::Code::networkConnectionLost);

  ScriptedResponse garbage;
  garbage.raw = "nonsense\r\n\r\n";
  backend.respond("GET", "/garbage", garbage);
  EXPECT_EQ(failureCode([&] { transport.data(request("/garbage")); }), URLError::Code::badServerResponse);

  // A port nobody listens on: bind one, learn its number, close it.
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  socklen_t length = sizeof address;
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(probe);
  URLRequest refused;
  refused.url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
  EXPECT_EQ(failureCode([&] { transport.data(refused); }), URLError::Code::cannotConnectToHost);

  URLRequest unknownHost;
  unknownHost.url = "http://no-such-host.invalid/";
  EXPECT_EQ(failureCode([&] { transport.data(unknownHost); }), URLError::Code::cannotFindHost);

  URLRequest ftp;
  ftp.url = "ftp://127.0.0.1/file";
  EXPECT_EQ(failureCode([&] { transport.data(ftp); }), URLError::Code::unsupportedURL);
}

// Made once for every TLS case; the transports under test trust only the first.
struct TestAuthorities {
  velmoria::testsupport::TestCertificateAuthority trusted{"velmoria test authority"};
  velmoria::testsupport::TestCertificateAuthority stranger{"velmoria stranger authority"};
};

const TestAuthorities& authorities() {
  static const TestAuthorities made;
  return made;
}

// An HTTPS server on 127.0.0.1 presenting `identity`; every request that gets through the handshake is
// answered 200 "secure".
struct SecureServer {
  explicit SecureServer(const velmoria::testsupport::TlsIdentity& identity) : front(backend, identity) {
    backend.respond("*", "*", ScriptedResponse::text(200, "secure"));
  }
  std::string url(const std::string& pathAndQuery) const { return front.url(pathAndQuery, "127.0.0.1", "https"); }

  FakeBackend backend;
  velmoria::testsupport::FakeTLSFront front;
};

class CurlTransportTlsTest : public ::testing::Test {
 protected:
  std::shared_ptr<CurlTransport> transport = std::make_shared<CurlTransport>(
      CurlTransportOptions{.trustedCertificateAuthorities = authorities().trusted.certificatePem()});
};

TEST_F(CurlTransportTlsTest, ServerCertifiedByATrustedAuthorityIsAccepted) {
  const SecureServer server(authorities().trusted.issue({"127.0.0.1"}));
  URLRequest get;
  get.url = server.url("/hello");
  const auto result = transport->data(get);
  EXPECT_EQ(http(result).statusCode, 200);
  EXPECT_EQ(velmoria::base::stringFromData(result.first), "secure");

  // The system's authorities know nothing of the test one.
  CurlTransport systemTrust;
  EXPECT_EQ(failureName([&] { systemTrust.data(get); }), "serverCertificateUntrusted");
}

TEST_F(CurlTransportTlsTest, CertificateFailuresHaveTheirOwnCodesAndOnlyDatedOnesAreRetried) {
  using namespace std::chrono_literals;
  struct Case {
    std::string what;
    velmoria::testsupport::TlsIdentity identity;
    std::string code;
    int attempts;
  };
  const auto& ca = authorities();
  const std::vector<Case> cases{
      {"another authority's", ca.stranger.issue({"127.0.0.1"}), "serverCertificateUntrusted", 1},
      {"another host's", ca.trusted.issue({"other.example", "10.9.8.7"}), "serverCertificateUntrusted", 1},
      {"expired", ca.trusted.issue({"127.0.0.1"}, -48h, -24h), "serverCertificateHasBadDate", 2},
      {"not yet valid", ca.trusted.issue({"127.0.0.1"}, 24h, 48h), "serverCertificateNotYetValid", 2},
  };
  std::vector<double> waits;
  const auto retry = std::make_shared<RetryRequestInterceptor>(
      2, 2, 0.5, RetryRequestInterceptor::defaultRetryableHTTPMethods(),
      RetryRequestInterceptor::defaultRetryableHTTPStatusCodes(), RetryRequestInterceptor::defaultRetryableErrorCodes(),
      [&waits](double seconds) { waits.push_back(seconds); });
  HTTPClient client(HTTPClient::fetchOver(transport), {retry});
  for (const auto& [what, identity, code, attempts] : cases) {
    SCOPED_TRACE(what);
    const SecureServer server(identity);
    waits.clear();
    EXPECT_EQ(failureName([&] { client.send(*HTTPRequest::make(server.url("/"), HTTPRequest::Method::get())); }), code);
    EXPECT_EQ(server.front.connectionCount(), attempts);
    EXPECT_EQ(waits.size(), static_cast<std::size_t>(attempts - 1));
    EXPECT_EQ(server.backend.requestCount(), 0u) << "no request may reach a server that failed verification";
  }
}

// Redirects are followed, except where following would hand the request to someone it was not meant
// for: a body (a refresh token, a password) to another origin, or anything from https to plain http.
TEST_F(CurlTransportTest, ARequestThatMayCarryABodyIsRedirectedOnlyWithinItsOrigin) {
  FakeBackend elsewhere;
  elsewhere.respond("*", "/landing", ScriptedResponse::text(200, "elsewhere"));
  backend.respond("*", "/landing", ScriptedResponse::text(200, "here"));
  for (const unsigned status : {301u, 302u, 303u, 307u, 308u}) {
    SCOPED_TRACE(status);
    backend.respond("*", "/away", ScriptedResponse::text(status, "").withHeader("Location", elsewhere.url("/landing")));
    backend.respond("*", "/near", ScriptedResponse::text(status, "").withHeader("Location", "/landing"));
    for (const std::string method : {"POST", "PUT", "DELETE"}) {
      auto post = request("/away", method);
      post.httpBody = velmoria::base::dataFromString(R"({"refresh_token":"r3fr3sh"})");
      const auto refused = transport.data(post);
      EXPECT_EQ(http(refused).statusCode, static_cast<int>(status)) << method;
      EXPECT_EQ(http(refused).value("Location"), elsewhere.url("/landing"));
      EXPECT_EQ(elsewhere.requestCount(), 0u) << method;
    }
    auto near = request("/near", "POST");
    near.httpBody = velmoria::base::dataFromString("same origin");
    EXPECT_EQ(velmoria::base::stringFromData(transport.data(near).first), "here");

    const auto get = transport.data(request("/away"));
    EXPECT_EQ(http(get).statusCode, 200);
    EXPECT_EQ(velmoria::base::stringFromData(get.first), "elsewhere");
    EXPECT_EQ(elsewhere.requestCount(), 1u);
    elsewhere.clearRequests();
  }
  // A streamed answer stops at the refused redirect the same way.
  auto post = request("/away", "POST");
  post.httpBody = velmoria::base::dataFromString("x");
  int status = 0;
  std::exception_ptr failure;
  transport.stream(post,
                   StreamHandlers{.onResponse = [&](const HTTPURLResponse& response) { status = response.statusCode; },
                                  .onChunk = nullptr,
                                  .onComplete = [&](std::exception_ptr error) { failure = error; }});
  EXPECT_EQ(status, 308);
  EXPECT_FALSE(failure);
  EXPECT_EQ(elsewhere.requestCount(), 0u);
}

// A redirect that would turn a request into another (a PUT sent on without its body) is not followed; those
// that keep the method and the body are.
TEST_F(CurlTransportTest, ARedirectIsFollowedOnlyWithTheRequestUnchanged) {
  backend.respond("*", "/landing", ScriptedResponse::text(200, "landed"));
  for (const unsigned status : {301u, 302u, 303u, 307u, 308u}) {
    backend.respond("*", "/moved", ScriptedResponse::text(status, "moved").withHeader("Location", "/landing"));
    for (const std::string method : {"PUT", "PATCH", "DELETE"}) {
      SCOPED_TRACE(method + " " + std::to_string(status));
      backend.clearRequests();
      auto changed = request("/moved", method);
      changed.httpBody = velmoria::base::dataFromString(R"({"name":"kept"})");
      const auto result = transport.data(changed);
      const auto seen = backend.requests();
      if (status == 307 || status == 308) {
        EXPECT_EQ(velmoria::base::stringFromData(result.first), "landed");
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[1].method, method);
        EXPECT_EQ(seen[1].body, R"({"name":"kept"})");
      } else {
        EXPECT_EQ(http(result).statusCode, static_cast<int>(status));
        EXPECT_EQ(http(result).value("Location"), "/landing");
        EXPECT_EQ(seen.size(), 1u) << "sent on as " << seen.back().method << " with " << seen.back().body.size()
                                   << " bytes";
      }
    }
  }
  // A form's POST answered "see other" is fetched with a GET, as browsers do.
  backend.respond("*", "/moved", ScriptedResponse::text(303, "").withHeader("Location", "/landing"));
  auto post = request("/moved", "POST");
  post.httpBody = velmoria::base::dataFromString("form");
  EXPECT_EQ(velmoria::base::stringFromData(transport.data(post).first), "landed");
  EXPECT_EQ(backend.lastRequest().method, "GET");
}

TEST_F(CurlTransportTest, ARedirectToAnotherOriginCarriesNoCredentials) {
  FakeBackend elsewhere;
  elsewhere.respond("*", "/landing", ScriptedResponse::text(200, "elsewhere"));
  backend.respond("GET", "/away", ScriptedResponse::text(302, "").withHeader("Location", elsewhere.url("/landing")));
  backend.respond("GET", "/near", ScriptedResponse::text(302, "").withHeader("Location", "/landing"));
  backend.respond("GET", "/landing", ScriptedResponse::text(200, "here"));
  auto get = request("/away");
  get.setValue("public-key", "apikey");
  get.setValue("Bearer user-token", "Authorization");
  get.setValue("velmoria/1", "X-Client-Info");
  const auto result = transport.data(get);
  EXPECT_EQ(velmoria::base::stringFromData(result.first), "elsewhere");
  EXPECT_EQ(http(result).url, elsewhere.url("/landing"));
  ASSERT_EQ(elsewhere.requestCount(), 1u);
  const auto arrived = elsewhere.lastRequest();
  EXPECT_FALSE(arrived.header("apikey"));
  EXPECT_FALSE(arrived.header("Authorization"));
  EXPECT_EQ(arrived.header("X-Client-Info"), "velmoria/1");

  // Within the origin they stay.
  get.url = backend.url("/near");
  EXPECT_EQ(velmoria::base::stringFromData(transport.data(get).first), "here");
  EXPECT_EQ(backend.lastRequest().header("apikey"), "public-key");
}

TEST_F(CurlTransportTlsTest, AnHttpsRequestIsNeverRedirectedToPlainHttp) {
  SecureServer server(authorities().trusted.issue({"127.0.0.1"}));
  FakeBackend plain;
  plain.respond("*", "*", ScriptedResponse::text(200, "plain"));
  server.backend.respond("*", "/down", ScriptedResponse::text(302, "").withHeader("Location", plain.url("/x")));
  server.backend.respond("*", "/up", ScriptedResponse::text(302, "").withHeader("Location", server.url("/in")));
  URLRequest get;
  get.url = server.url("/down");
  const auto refused = transport->data(get);
  EXPECT_EQ(http(refused).statusCode, 302);
  EXPECT_EQ(plain.requestCount(), 0u);

  get.url = server.url("/up");
  EXPECT_EQ(velmoria::base::stringFromData(transport->data(get).first), "secure");
}

TEST_F(CurlTransportTest, TimesOutWhenTheServerStaysSilent) {
  backend.respond("GET", "/slow", ScriptedResponse::text(200, "late").after(2s));
  auto slow = request("/slow");
  slow.timeoutInterval = 0.2;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(failureCode([&] { transport.data(slow); }), URLError::Code::timedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
}

TEST_F(CurlTransportTest, TimeoutCountsIdleTimeNotTotalTime) {
  ScriptedResponse trickle;
  trickle.chunks = {"a", "b", "c", "d"};
  trickle.chunkDelay = 150ms;
  backend.respond("GET", "/trickle", trickle);
  auto slow = request("/trickle");
  slow.timeoutInterval = 0.4;
  EXPECT_EQ(velmoria::base::stringFromData(transport.data(slow).first), "abcd");
}

TEST_F(CurlTransportTest, StopTokenAbortsATransferPromptly) {
  backend.respond("GET", "/hang", ScriptedResponse::text(200, "late").after(5s));
  std::stop_source stop;
  std::thread canceller([&] {
    backend.waitForRequests(1, 2s);
    std::this_thread::sleep_for(50ms);
    stop.request_stop();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(failureCode([&] { transport.data(request("/hang"), stop.get_token()); }), URLError::Code::cancelled);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  canceller.join();

  std::stop_source already;
  already.request_stop();
  backend.clearRequests();
  EXPECT_EQ(failureCode([&] { transport.data(request("/hang"), already.get_token()); }), URLError::Code::cancelled);
  EXPECT_EQ(backend.requestCount(), 0u);
}

TEST_F(CurlTransportTest, OversizedBodiesFailInsteadOfExhaustingMemory) {
  CurlTransport small(CurlTransportOptions{.maxResponseBytes = 1000, .maxIdleHandles = 2});
  backend.respond("GET", "/big", ScriptedResponse::text(200, std::string(5000, 'x')));
  EXPECT_EQ(failureCode([&] { small.data(request("/big")); }), URLError::Code::dataLengthExceedsMaximum);

  ScriptedResponse chunked;
  chunked.chunks = {std::string(600, 'a'), std::string(600, 'b')};
  backend.respond("GET", "/bigchunks", chunked);
  EXPECT_EQ(failureCode([&] { small.data(request("/bigchunks")); }), URLError::Code::dataLengthExceedsMaximum);
}

TEST_F(CurlTransportTest, BodyOfExactlyTheLimitIsAcceptedAndOneByteMoreIsNot) {
  CurlTransport small(CurlTransportOptions{.maxResponseBytes = 1000, .maxIdleHandles = 2});
  ScriptedResponse exactChunks;
  exactChunks.chunks = {std::string(600, 'a'), std::string(400, 'b')};
  ScriptedResponse overChunks;
  overChunks.chunks = {std::string(600, 'a'), std::string(401, 'b')};
  backend.respond("GET", "/exact", ScriptedResponse::text(200, std::string(1000, 'x')));
  backend.respond("GET", "/exactchunks", exactChunks);
  backend.respond("GET", "/over", ScriptedResponse::text(200, std::string(1001, 'x')));
  backend.respond("GET", "/overchunks", overChunks);

  for (const std::string path : {"/exact", "/exactchunks"}) {
    try {
      EXPECT_EQ(small.data(request(path)).first.size(), 1000u) << path;
    } catch (const URLError& error) {
      ADD_FAILURE() << path << ": " << urlErrorCodeName(error.code());
    }
  }
  EXPECT_EQ(failureName([&] { small.data(request("/over")); }), "dataLengthExceedsMaximum");
  EXPECT_EQ(failureName([&] { small.data(request("/overchunks")); }), "dataLengthExceedsMaximum");
}

TEST_F(CurlTransportTest, StreamsResponseThenChunksThenCompletion) {
  ScriptedResponse chunked = ScriptedResponse::text(200, "");
  chunked.chunks = {"one", "two", "three"};
  chunked.chunkDelay = 20ms;
  backend.respond("POST", "/stream", chunked);
  std::vector<std::string> events;
  StreamHandlers handlers;
  handlers.onResponse = [&](const HTTPURLResponse& response) {
    events.push_back("status " + std::to_string(response.statusCode));
  };
  handlers.onChunk = [&](const velmoria::base::Data& chunk) {
    events.push_back(velmoria::base::stringFromData(chunk));
  };
  handlers.onComplete = [&](std::exception_ptr error) { events.push_back(error ? "failed" : "done"); };
  transport.stream(request("/stream", "POST"), handlers);
  std::string joined;
  for (const auto& event : events) joined += event + "|";
  EXPECT_EQ(joined.substr(0, 11), "status 200|");
  EXPECT_EQ(joined.substr(joined.size() - 5), "done|");
  EXPECT_NE(joined.find("three"), std::string::npos);
}

TEST_F(CurlTransportTest, StreamReportsFailuresAndHandlerErrorsThroughCompletion) {
  backend.respond("GET", "/empty", ScriptedResponse::text(204, ""));
  int responses = 0;
  std::exception_ptr completed;
  int completions = 0;
  StreamHandlers handlers;
  handlers.onResponse = [&](const HTTPURLResponse& response) {
    ++responses;
    EXPECT_EQ(response.statusCode, 204);
  };
  handlers.onComplete = [&](std::exception_ptr error) {
    ++completions;
    completed = error;
  };
  transport.stream(request("/empty"), handlers);
  EXPECT_EQ(responses, 1);
  EXPECT_EQ(completions, 1);
  EXPECT_FALSE(completed);

  ScriptedResponse chunked;
  chunked.chunks = {"a", "b"};
  backend.respond("GET", "/chunks", chunked);
  handlers.onResponse = nullptr;
  handlers.onChunk = [](const velmoria::base::Data&) { throw std::runtime_error("consumer gave up"); };
  transport.stream(request("/chunks"), handlers);
  ASSERT_TRUE(completed);
  EXPECT_THROW(std::rethrow_exception(completed), std::runtime_error);

  backend.respond("GET", "/drop", ScriptedResponse::dropped());
  transport.stream(request("/drop"), handlers);
  EXPECT_EQ(completions, 3);
  EXPECT_THROW(std::rethrow_exception(completed), URLError);
}

TEST_F(CurlTransportTest, ConcurrentRequestsEachGetTheirOwnAnswer) {
  backend.route("GET", "/id", [](const velmoria::testsupport::RecordedRequest& seen) {
    return ScriptedResponse::text(200, seen.queryValue("n").value_or("?")).after(20ms);
  });
  std::vector<std::thread> threads;
  std::atomic<int> correct{0};
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&, i] {
      for (int j = 0; j < 5; ++j) {
        const auto n = std::to_string(i * 10 + j);
        if (velmoria::base::stringFromData(transport.data(request("/id?n=" + n)).first) == n) ++correct;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(correct.load(), 40);
}

}  // namespace
}  // namespace zirudeze::helpers
