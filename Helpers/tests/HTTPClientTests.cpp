#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "helpers/HTTPClient.hpp"
#include "helpers/HTTPError.hpp"
#include "helpers/HTTPFieldsBridging.hpp"
#include "helpers/RestError.hpp"
#include "helpers/SharedJSONCoders.hpp"
#include "helpers/URLError.hpp"
#include "testsupport/FakeBackend.hpp"

namespace zirudeze::helpers {
namespace {

using http::HTTPField;
using http::HTTPFields;
using Method = HTTPRequest::Method;
using velmoria::testsupport::FakeBackend;
using velmoria::testsupport::ScriptedResponse;

HTTPField::Name name(std::string_view text) { return *HTTPField::Name::make(text); }

HTTPRequest requestTo(std::string_view url, const Method& method = Method::get()) {
  return *HTTPRequest::make(url, method);
}

FetchResult httpAnswer(int status, std::string body = {}) {
  auto response = std::make_shared<HTTPURLResponse>();
  response->statusCode = status;
  response->allHeaderFields = {{"Content-Type", "application/json"}};
  return {velmoria::base::dataFromString(body), response};
}

// ---- Request values -------------------------------------------------------------------------------

TEST(HTTPRequestTest, AppendsQueryItemsWithTheStrictEscapingSet) {
  auto request = requestTo("https://h.example/rest/v1/t?a=1");
  request.query = {{"select", "*"}, {"id", "eq.5"}, {"text", "a b+c/d?e&f=g"}, {"flag", std::nullopt}};
  const auto transfer = request.urlRequest();
  EXPECT_EQ(transfer.url, "https://h.example/rest/v1/t?a=1&select=%2A&id=eq.5&text=a%20b%2Bc/d?e%26f%3Dg&flag");

  const auto plain = requestTo("https://h.example/p?x=%41");
  EXPECT_EQ(plain.urlRequest().url, "https://h.example/p?x=%41");
  EXPECT_FALSE(HTTPRequest::make("not a url", Method::get()));
}

TEST(HTTPRequestTest, AppendedQueryItemsLeaveTheRestOfTheURLAsWritten) {
  const std::vector<velmoria::base::URLQueryItem> items{{"select", "*"}, {"flag", std::nullopt}, {"", ""}};
  const std::vector<std::pair<std::string, std::string>> cases{
      {"https://h.example/p", "https://h.example/p?select=%2A&flag&="},
      {"https://h.example/p?", "https://h.example/p?select=%2A&flag&="},
      {"https://h.example/p?&", "https://h.example/p?&&select=%2A&flag&="},
      {"https://h.example/p?a=b=c&&e", "https://h.example/p?a=b=c&&e&select=%2A&flag&="},
      {"https://h.example/p?a=%2A#frag", "https://h.example/p?a=%2A&select=%2A&flag&=#frag"},
      {"https://h.example/p#f?g", "https://h.example/p?select=%2A&flag&=#f?g"},
      {"https://h.example/p?#", "https://h.example/p?select=%2A&flag&=#"},
      {"https://h.example", "https://h.example?select=%2A&flag&="},
      {"https://u:pw@[::1]:8080/p?x", "https://u:pw@[::1]:8080/p?x&select=%2A&flag&="},
      // A port written unusually comes out in its plain form.
      {"https://h.example:/p", "https://h.example/p?select=%2A&flag&="},
      {"https://h.example:080/p", "https://h.example:80/p?select=%2A&flag&="},
  };
  for (const auto& [from, expected] : cases) {
    auto request = requestTo(from);
    request.query = items;
    EXPECT_EQ(request.urlRequest().url, expected) << from;
    EXPECT_EQ(appendingQueryItems(*velmoria::base::URL::parse(from), items).absoluteString(), expected) << from;
  }

  // An item that is not UTF-8 leaves the URL as it was.
  auto request = requestTo("https://h.example:080/p?a=1");
  request.query = {{"ok", "1"}, {"bad", std::string("\xff")}};
  EXPECT_EQ(request.urlRequest().url, "https://h.example:080/p?a=1");
  request.url = *velmoria::base::URL::parse("https://h.example/p?a=1");
  EXPECT_EQ(request.urlRequest().url, "https://h.example/p?a=1");
}

TEST(HTTPRequestTest, DefaultsTheContentTypeOnlyForBodiesWithoutOne) {
  auto request = requestTo("https://h.example/");
  EXPECT_FALSE(request.urlRequest().value("Content-Type"));

  request.body = velmoria::base::dataFromString("{}");
  EXPECT_EQ(request.urlRequest().value("Content-Type"), "application/json");

  request.headers.append(HTTPField(name("content-type"), "text/plain"));
  const auto transfer = request.urlRequest();
  EXPECT_EQ(transfer.value("Content-Type"), "text/plain");
  EXPECT_EQ(transfer.allHTTPHeaderFields.size(), 1u);
  EXPECT_EQ(transfer.httpMethod, "GET");
  EXPECT_EQ(transfer.timeoutInterval, 60);
}

// ---- Header bridging ------------------------------------------------------------------------------

TEST(HTTPFieldsBridgingTest, MergeLetsTheOtherListWinWithItsSpelling) {
  const HTTPFields base{{name("A"), "1"}, {name("B"), "x"}};
  const HTTPFields other{{name("a"), "2"}, {name("C"), "3"}, {name("C"), "4"}};
  const HTTPFields merged = merging(base, other);
  EXPECT_EQ(merged[name("a")], "2");
  EXPECT_EQ(merged.fields(name("a")).front().name().rawName(), "a");
  EXPECT_EQ(merged[name("C")], "4");
  EXPECT_EQ(merged.count(), 3u);
  EXPECT_EQ(base[name("A")], "1");
}

TEST(HTTPFieldsBridgingTest, DictionaryKeepsWrittenNamesAndTheLaterValue) {
  const HTTPFields fields{{name("X"), "1"}, {name("X"), "2"}, {name("x"), "3"}};
  const auto map = dictionary(fields);
  EXPECT_EQ(map.size(), 2u);
  EXPECT_EQ(map.at("X"), "2");
  EXPECT_EQ(map.at("x"), "3");

  const auto fromMap = fieldsFromDictionary({{"Good", "1"}, {"bad name", "2"}, {"", "3"}});
  EXPECT_EQ(fromMap.count(), 1u);
  EXPECT_EQ(fromMap[name("good")], "1");
}

TEST(HTTPFieldsBridgingTest, AppendOrUpdateReplacesTheEntryWithTheSameKey) {
  const auto prefer = name("Prefer");
  HTTPFields fields{{prefer, "count=exact,return=representation"}};
  appendOrUpdate(fields, prefer, "return=minimal");
  EXPECT_EQ(fields[prefer], "count=exact,return=minimal");

  HTTPFields spaced{{prefer, "count=exact, return=representation"}};
  appendOrUpdate(spaced, prefer, "return=minimal");
  EXPECT_EQ(spaced[prefer], "count=exact, return=representation,return=minimal");

  HTTPFields empty;
  appendOrUpdate(empty, prefer, "missing=null");
  EXPECT_EQ(empty[prefer], "missing=null");
  appendOrUpdate(empty, prefer, "tx");
  EXPECT_EQ(empty[prefer], "missing=null,tx");

  std::vector<velmoria::base::URLQueryItem> items{{"a", "1"}, {"b", "2"}};
  appendOrUpdate(items, {"a", "3"});
  appendOrUpdate(items, {"A", "4"});
  EXPECT_EQ(items, (std::vector<velmoria::base::URLQueryItem>{{"a", "3"}, {"b", "2"}, {"A", "4"}}));
}

// ---- The chain ------------------------------------------------------------------------------------

class Recorder final : public HTTPClientInterceptor {
 public:
  Recorder(std::string label, std::vector<std::string>& events) : label_(std::move(label)), events_(events) {}
  HTTPResponse intercept(const HTTPRequest& request, const HTTPNext& next) override {
    events_.push_back(label_ + "-request");
    auto changed = request;
    changed.headers.append(HTTPField(name("X-Seen"), label_));
    auto response = next(changed);
    events_.push_back(label_ + "-response");
    return response;
  }

 private:
  std::string label_;
  std::vector<std::string>& events_;
};

TEST(HTTPClientTest, FirstInterceptorSeesTheRequestFirstAndTheResponseLast) {
  std::vector<std::string> events;
  std::vector<std::string> seenHeaders;
  HTTPClient client(
      [&](const URLRequest& request) {
        events.push_back("fetch");
        seenHeaders.push_back(request.value("X-Seen").value_or(""));
        return httpAnswer(200);
      },
      {std::make_shared<Recorder>("A", events), std::make_shared<Recorder>("B", events)});
  client.send(requestTo("https://h.example/"));
  EXPECT_EQ(events, (std::vector<std::string>{"A-request", "B-request", "fetch", "B-response", "A-response"}));
  // Both fields share a name, so the transfer request carries one value per written name: the later.
  EXPECT_EQ(seenHeaders, (std::vector<std::string>{"B"}));
}

TEST(HTTPClientTest, NonHTTPResponsesBecomeBadServerResponse) {
  bool interceptorSawResponse = false;
  struct Watch final : HTTPClientInterceptor {
    bool& saw;
    explicit Watch(bool& saw) : saw(saw) {}
    HTTPResponse intercept(const HTTPRequest& request, const HTTPNext& next) override {
      auto response = next(request);
      saw = true;
      return response;
    }
  };
  HTTPClient client(
      [](const URLRequest&) {
        return FetchResult{velmoria::base::dataFromString("x"), std::make_shared<URLResponse>()};
      },
      {std::make_shared<Watch>(interceptorSawResponse)});
  try {
    client.send(requestTo("https://h.example/"));
    FAIL() << "expected a URLError";
  } catch (const URLError& error) {
    EXPECT_EQ(error.code(), URLError::Code::badServerResponse);
  }
  EXPECT_FALSE(interceptorSawResponse);
}

TEST(HTTPClientTest, AConsumedRequestHandsItsBodyBufferToTheFetch) {
  const std::uint8_t* seen = nullptr;
  std::string contentType;
  const auto fetch = [&](const URLRequest& request) {
    seen = request.httpBody ? request.httpBody->data() : nullptr;
    contentType = request.value("Content-Type").value_or("");
    return httpAnswer(200);
  };
  auto request = requestTo("https://h.example/upload", Method::post());
  request.body = velmoria::base::Data(4096, 7);
  const std::uint8_t* buffer = request.body->data();

  HTTPClient plain(fetch, {});
  plain.send(std::move(request));
  EXPECT_EQ(seen, buffer);
  EXPECT_EQ(contentType, "application/json");

  // Interceptors may send the same request again, so they get their own copy.
  auto again = requestTo("https://h.example/upload", Method::post());
  again.body = velmoria::base::Data(4096, 7);
  buffer = again.body->data();
  std::vector<std::string> events;
  HTTPClient intercepted(fetch, {std::make_shared<Recorder>("A", events)});
  intercepted.send(std::move(again));
  EXPECT_NE(seen, buffer);
  EXPECT_EQ(events.size(), 2u);
}
// ---- Over the wire --------------------------------------------------------------------------------

class HTTPClientWireTest : public ::testing::Test {
 protected:
  FakeBackend backend;
  HTTPClient client{HTTPClient::defaultFetch(), {}};
};

TEST_F(HTTPClientWireTest, PutsMethodURLQueryAndHeadersOnTheWire) {
  backend.respond("POST", "/rest/v1/sessions",
                  ScriptedResponse::json(201, R"([{"id":1}])").withHeader("X-Multi", "a").withHeader("X-Multi", "b"));
  auto request = requestTo(backend.url("/rest/v1/sessions?existing=1"), Method::post());
  request.query = {{"select", "*"}, {"user_id", "eq.ABC-1"}, {"order", "started_at.desc.nullslast"}};
  request.headers = HTTPFields{{name("apikey"), "public-key"}, {name("Prefer"), "return=representation"}};
  request.body = velmoria::base::dataFromString(R"({"a":1})");

  const auto response = client.send(request);
  EXPECT_EQ(response.statusCode, 201);
  EXPECT_EQ(velmoria::base::stringFromData(response.data), R"([{"id":1}])");
  EXPECT_EQ(response.headers[name("x-multi")], "a, b");

  const auto seen = backend.lastRequest();
  EXPECT_EQ(seen.method, "POST");
  EXPECT_EQ(seen.path, "/rest/v1/sessions");
  EXPECT_EQ(seen.rawQuery, "existing=1&select=%2A&user_id=eq.ABC-1&order=started_at.desc.nullslast");
  EXPECT_EQ(seen.queryValue("select"), "*");
  EXPECT_EQ(seen.header("apikey"), "public-key");
  EXPECT_EQ(seen.header("Prefer"), "return=representation");
  EXPECT_EQ(seen.header("Content-Type"), "application/json");
  EXPECT_EQ(seen.body, R"({"a":1})");
}

TEST_F(HTTPClientWireTest, ErrorStatusesComeBackAsResponsesForTheCallerToJudge) {
  backend.respond("GET", "/bad", ScriptedResponse::json(400, R"({"message":"bad column","code":"42703","hint":null})"));
  backend.respond("GET", "/gone", ScriptedResponse::text(404, ""));
  backend.respond("GET", "/oops", ScriptedResponse::text(500, "internal"));

  const auto bad = client.send(requestTo(backend.url("/bad")));
  EXPECT_EQ(bad.statusCode, 400);
  const auto rest = bad.decoded<RestError>(JSONDecoder::shared());
  EXPECT_EQ(rest.message, "bad column");
  EXPECT_EQ(rest.code, "42703");
  EXPECT_FALSE(rest.hint);
  EXPECT_FALSE(rest.detail);
  EXPECT_EQ(rest.localizedDescription(), "bad column");

  const auto gone = client.send(requestTo(backend.url("/gone")));
  EXPECT_EQ(HTTPError(gone.data, gone.underlyingResponse).errorDescription(), "Status Code: 404 Body: ");
  const auto oops = client.send(requestTo(backend.url("/oops")));
  EXPECT_EQ(HTTPError(oops.data, oops.underlyingResponse).errorDescription(), "Status Code: 500 Body: internal");
}

TEST_F(HTTPClientWireTest, TimeoutIntervalReachesTheTransport) {
  backend.respond("GET", "/slow", ScriptedResponse::text(200, "late").after(std::chrono::seconds(3)));
  auto request = requestTo(backend.url("/slow"));
  request.timeoutInterval = 0.25;
  try {
    client.send(request);
    FAIL() << "expected a timeout";
  } catch (const URLError& error) {
    EXPECT_EQ(error.code(), URLError::Code::timedOut);
    EXPECT_EQ(error.failingURL(), backend.url("/slow"));
  }
}

}  // namespace
}  // namespace zirudeze::helpers
