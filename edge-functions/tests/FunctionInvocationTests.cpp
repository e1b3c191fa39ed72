#include <gtest/gtest.h>

#include "FunctionsTestSupport.hpp"
#include "base/coding/CodingErrors.hpp"
#include "helpers/ClientVersion.hpp"
#include "helpers/URLError.hpp"

namespace zirudeze::functions::testing {
namespace {

using Method = FunctionInvokeOptions::Method;

std::vector<std::pair<std::string, std::optional<std::string>>> queryOf(const Json& echo) {
  std::vector<std::pair<std::string, std::optional<std::string>>> items;
  for (const auto& item : echo["query"]) {
    items.emplace_back(item[0].get<std::string>(),
                       item[1].is_null() ? std::nullopt : std::optional<std::string>(item[1].get<std::string>()));
  }
  return items;
}

TEST_F(FunctionsTest, APlainInvocationIsAPostWithTheClientsHeadersAndNoRegion) {
  client({}, {{"Apikey", "key"}}).invoke("hello");
  const auto echo = echoed("hello");
  EXPECT_EQ(echo["method"], "POST");
  EXPECT_EQ(echo["headers"]["apikey"], "key");
  EXPECT_EQ(echo["headers"]["x-client-info"], "functions-cpp/" + helpers::libraryVersion());
  EXPECT_FALSE(echo["headers"].contains("x-region"));
  EXPECT_FALSE(echo["headers"].contains("authorization"));
  EXPECT_TRUE(echo["query"].empty());
  EXPECT_EQ(echo["body"], "");
  ASSERT_EQ(fetch.requests().size(), 1u);
  EXPECT_EQ(fetch.requests()[0].url, functions.url() + "/hello");
  EXPECT_EQ(fetch.requests()[0].timeoutInterval, 150);
  EXPECT_EQ(FunctionsClient::requestTimeout, 150);
}

TEST_F(FunctionsTest, ACallersClientInfoStaysInAnyLetterCase) {
  client({}, {{"x-client-info", "mine/1"}}).invoke("hello");
  EXPECT_EQ(functions.invocations("hello").back().headerValues("X-Client-Info"), std::vector<std::string>{"mine/1"});
}

TEST_F(FunctionsTest, EachMethodGoesOutAsItsText) {
  const auto functionsClient = client();
  for (const auto method : {Method::get, Method::post, Method::put, Method::patch, Method::delete_}) {
    functionsClient.invoke("verbs", {{.method = method}});
    EXPECT_EQ(echoed("verbs")["method"], std::string(rawValue(method)));
  }
}

TEST_F(FunctionsTest, TheRegionComesAfterTheOptionsQueryAndTheOptionsRegionWins) {
  const auto functionsClient = client("eu-west-1");
  functionsClient.invoke("where", {{.query = {{"a", "1"}, {"b", std::nullopt}}, .headers = {{"x-region", "mine"}}}});
  auto echo = echoed("where");
  EXPECT_EQ(echo["region"], "eu-west-1");
  EXPECT_EQ(functions.invocations("where").back().headerValues("x-region"), std::vector<std::string>{"eu-west-1"});
  EXPECT_EQ(queryOf(echo), (std::vector<std::pair<std::string, std::optional<std::string>>>{
                               {"a", "1"}, {"b", std::nullopt}, {"forceFunctionRegion", "eu-west-1"}}));

  functionsClient.invoke("where", {{.region = FunctionRegion::usEast1}});
  echo = echoed("where");
  EXPECT_EQ(echo["region"], "us-east-1");
  EXPECT_EQ(echo["forceFunctionRegion"], "us-east-1");
  EXPECT_EQ(queryOf(echo).size(), 1u);
}

TEST_F(FunctionsTest, TheBodysKindPicksTheContentTypeAndTheCallersWins) {
  const auto functionsClient = client();
  functionsClient.invoke("body", FunctionInvokeOptions({}, "hello"));
  EXPECT_EQ(echoed("body")["headers"]["content-type"], "text/plain");
  EXPECT_EQ(echoed("body")["body"], "hello");

  functionsClient.invoke("body", FunctionInvokeOptions({}, velmoria::base::Data{0, 1, 2}));
  EXPECT_EQ(echoed("body")["headers"]["content-type"], "application/octet-stream");
  EXPECT_EQ(echoed("body")["body"], std::string("\0\1\2", 3));

  functionsClient.invoke("body", FunctionInvokeOptions({}, Greeting{"Ada"}));
  EXPECT_EQ(echoed("body")["headers"]["content-type"], "application/json");
  EXPECT_EQ(Json::parse(echoed("body")["body"].get<std::string>()), (Json{{"name", "Ada"}, {"weight", 1.5}}));

  functionsClient.invoke("body", FunctionInvokeOptions({.headers = {{"content-type", "text/csv"}}}, "a,b"));
  EXPECT_EQ(functions.invocations("body").back().headerValues("Content-Type"), std::vector<std::string>{"text/csv"});

  // Without a body no content type is named.
  functionsClient.invoke("body", FunctionInvokeOptions({.method = Method::get}));
  EXPECT_FALSE(functions.invocations("body").back().header("Content-Type"));
}

TEST_F(FunctionsTest, ABodyThatCannotBeEncodedIsRefusedBeforeAnythingIsSent) {
  EXPECT_THROW(FunctionInvokeOptions({}, Greeting{"Ada", std::nan("")}), velmoria::base::EncodingError);
}

TEST_F(FunctionsTest, SetAuthPutsTheTokenInAndTakesEveryAuthorizationOut) {
  auto functionsClient = client({}, {{"Authorization", "Bearer key"}});
  functionsClient.setAuth("user-token");
  functionsClient.invoke("whoami");
  EXPECT_EQ(functions.invocations("whoami").back().headerValues("Authorization"),
            std::vector<std::string>{"Bearer user-token"});
  functionsClient.setAuth(std::nullopt);
  functionsClient.invoke("whoami");
  EXPECT_FALSE(functions.invocations("whoami").back().header("Authorization"));
}

TEST_F(FunctionsTest, AnInvocationsOwnHeadersWinOverTheClients) {
  auto functionsClient = client({}, {{"Content-Type", "application/xml"}, {"X-Trace", "client"}});
  functionsClient.setAuth("user-token");
  functionsClient.invoke(
      "body", FunctionInvokeOptions(
                  {.headers = {{"content-type", "text/csv"}, {"AUTHORIZATION", "Bearer service-role"}}}, "a,b"));
  const auto sent = functions.invocations("body").back();
  EXPECT_EQ(sent.headerValues("Content-Type"), std::vector<std::string>{"text/csv"});
  EXPECT_EQ(sent.headerValues("Authorization"), std::vector<std::string>{"Bearer service-role"});
  EXPECT_EQ(sent.header("X-Trace"), "client");

  // The streamed path builds its request the same way.
  drain(functionsClient.invokeWithStreamedResponse("body", {{.headers = {{"Authorization", "Bearer mine"}}}}));
  EXPECT_EQ(functions.invocations("body").back().headerValues("Authorization"),
            std::vector<std::string>{"Bearer mine"});
  EXPECT_EQ(functions.invocations("body").back().headerValues("Content-Type"),
            std::vector<std::string>{"application/xml"});
}

TEST_F(FunctionsTest, AStatusOutsideTwoHundredsFailsWithTheBody) {
  functions.respond("missing", 404, R"({"error":"nope"})");
  try {
    client().invoke("missing");
    ADD_FAILURE() << "a 404 passed";
  } catch (const FunctionsError& error) {
    EXPECT_EQ(error.kind(), FunctionsError::Kind::httpError);
    EXPECT_EQ(error.code(), 404);
    EXPECT_EQ(std::string(error.data().begin(), error.data().end()), R"({"error":"nope"})");
    EXPECT_EQ(error.localizedDescription(), "Edge Function returned a non-2xx status code: 404");
  }
  functions.respond("edge", 299, "fine");
  EXPECT_NO_THROW(client().invoke("edge"));
  functions.respond("edge", 300, "");
  EXPECT_THROW(client().invoke("edge"), FunctionsError);
}

TEST_F(FunctionsTest, OnlyAnExactTrueRelayErrorFailsAndTheStatusIsCheckedFirst) {
  const auto functionsClient = client();
  functions.respond("relay", 200, "", {{"X-Relay-Error", "true"}});
  try {
    functionsClient.invoke("relay");
    ADD_FAILURE() << "a relay error passed";
  } catch (const FunctionsError& error) {
    EXPECT_EQ(error.kind(), FunctionsError::Kind::relayError);
    EXPECT_EQ(error.localizedDescription(), "Relay Error invoking the Edge Function");
  }
  functions.respond("relay", 200, "", {{"x-relay-error", "TRUE"}});
  EXPECT_NO_THROW(functionsClient.invoke("relay"));
  functions.respond("relay", 200, "", {{"x-relay-error", "false"}});
  EXPECT_NO_THROW(functionsClient.invoke("relay"));
  functions.respond("relay", 502, "bad", {{"x-relay-error", "true"}});
  try {
    functionsClient.invoke("relay");
    ADD_FAILURE() << "a 502 passed";
  } catch (const FunctionsError& error) {
    EXPECT_EQ(error.kind(), FunctionsError::Kind::httpError);
    EXPECT_EQ(error.code(), 502);
  }
}

TEST_F(FunctionsTest, AnswersAreDecodedOrHandedToTheCallersDecoder) {
  functions.respond("greet", 201, R"({"name":"Ada","weight":2.5})", {{"X-Answer", "yes"}});
  const auto functionsClient = client();
  const auto greeting = functionsClient.invoke<Greeting>("greet", {});
  EXPECT_EQ(greeting.name, "Ada");
  EXPECT_EQ(greeting.weight, 2.5);

  const auto seen = functionsClient.invoke(
      "greet", {}, [](const velmoria::base::Data& body, const helpers::HTTPURLResponse& response) {
        return std::to_string(response.statusCode) + " " + response.value("x-answer").value_or("-") + " " +
               std::to_string(body.size());
      });
  EXPECT_EQ(seen, "201 yes 27");

  functions.respond("greet", 200, R"({"name":1})");
  EXPECT_THROW(functionsClient.invoke<Greeting>("greet", {}), velmoria::base::DecodingError);
}

TEST_F(FunctionsTest, TransportFailuresPassUnchanged) {
  const FunctionsClient unreachable(*velmoria::base::URL::parse("http://127.0.0.1:1/functions/v1"));
  try {
    unreachable.invoke("hello");
    ADD_FAILURE() << "an unreachable host answered";
  } catch (const helpers::URLError& error) {
    EXPECT_EQ(error.code(), helpers::URLError::Code::cannotConnectToHost);
  }
}

}  // namespace
}  // namespace zirudeze::functions::testing
