// Completing, sending and answering: headers added at execution, statuses, errors, decoding, counts.
#include "RestTestSupport.hpp"
#include "helpers/AnyJSON.hpp"
#include "helpers/HTTPError.hpp"
#include "helpers/RestError.hpp"
#include "rest/RestAnswer.hpp"

namespace zirudeze::rest::testing {
namespace {

using helpers::AnyJSON;

class CompletionTest : public RestTest {};

TEST_F(CompletionTest, CountMergesIntoPreferOnceHoweverOftenExecuted) {
  auto builder = client().from("modes").delete_({.returning = RestReturningOptions::minimal}).eq("id", kModeID);
  builder.executeDiscardingValue({.count = CountOption::exact});
  EXPECT_EQ(backend.lastRequest().header("Prefer"), "return=minimal,count=exact");
  builder.executeDiscardingValue({.count = CountOption::exact});
  EXPECT_EQ(backend.lastRequest().header("Prefer"), "return=minimal,count=exact");
  builder.executeDiscardingValue({.count = CountOption::planned});
  EXPECT_EQ(backend.lastRequest().header("Prefer"), "return=minimal,count=planned");
  EXPECT_EQ(backend.lastRequest().method, "DELETE");
}

TEST_F(CompletionTest, AnEarlierAcceptStaysAndContentTypeIsAlwaysJSON) {
  auto csv = client().from("modes").select("*").csv().setHeader("Content-Type", "text/plain");
  EXPECT_THROW(csv.executeDiscardingValue(), helpers::RestError);  // the fake writes no CSV
  EXPECT_EQ(backend.lastRequest().header("Accept"), "text/csv");
  EXPECT_EQ(backend.lastRequest().headerValues("Content-Type"), std::vector<std::string>{"application/json"});

  database.insert("modes", Json{{"id", kModeID}, {"block_on_mac", true}});
  const auto single = client().from("modes").select("block_on_mac").single().execute<AnyJSON>();
  EXPECT_EQ(single.value, AnyJSON::object({{"block_on_mac", true}}));
  EXPECT_EQ(backend.lastRequest().header("Accept"), "application/vnd.pgrst.object+json");
}

TEST_F(CompletionTest, HeadOptionSendsHeadAndCountComesBack) {
  database.insert("modes", Json::array({{{"id", kModeID}}, {{"id", "7a5e7f0c-0b6f-4d39-a1a4-8f2d9a0c1e22"}}}));
  const auto response =
      client().from("modes").select("*").executeDiscardingValue({.head = true, .count = CountOption::exact});
  EXPECT_EQ(backend.lastRequest().method, "HEAD");
  EXPECT_EQ(backend.lastRequest().header("Prefer"), "count=exact");
  EXPECT_EQ(response.count, 2);
  EXPECT_TRUE(response.data.empty());
}

// Answers with any status, through a fetch that never touches the network.
helpers::FetchOperation answering(int status, std::string body,
                                  std::vector<std::pair<std::string, std::string>> headers = {}) {
  return [=](const helpers::URLRequest& request) {
    auto response = std::make_shared<helpers::HTTPURLResponse>();
    response->url = request.url;
    response->statusCode = status;
    response->allHeaderFields = headers;
    return helpers::FetchResult{velmoria::base::dataFromString(body), response};
  };
}

TEST(AnswerStatusTest, OnlyTwoHundredThroughTwoNinetyNineSucceed) {
  for (const int status : {200, 299}) {
    RestClient client(
        {.url = *velmoria::base::URL::parse("https://db.example/rest/v1"), .fetch = answering(status, "[]")});
    EXPECT_EQ(client.from("t").select().execute<std::vector<AnyJSON>>().status(), status);
  }
  for (const int status : {199, 300}) {
    RestClient client(
        {.url = *velmoria::base::URL::parse("https://db.example/rest/v1"), .fetch = answering(status, "[]")});
    EXPECT_THROW(client.from("t").select().execute<std::vector<AnyJSON>>(), helpers::HTTPError) << status;
  }
}

class AnswerTest : public RestTest {};

TEST_F(AnswerTest, ServiceErrorBodiesBecomeRestErrorsWithTheirFields) {
  database.failNext("modes",
                    ScriptedResponse::json(404, R"({"code":"PGRST205","message":"gone","detail":"d","hint":"h"})"));
  try {
    client().from("modes").select().executeDiscardingValue();
    FAIL() << "no error";
  } catch (const helpers::RestError& error) {
    EXPECT_EQ(error.code, "PGRST205");
    EXPECT_EQ(error.message, "gone");
    EXPECT_EQ(error.detail, "d");
    EXPECT_EQ(error.hint, "h");
  }
  try {
    client().from("missing").select().executeDiscardingValue();
    FAIL() << "no error";
  } catch (const helpers::RestError& error) {
    EXPECT_EQ(error.code, "42P01");
    EXPECT_FALSE(error.detail);
  }
}

TEST_F(AnswerTest, GatewayPagesBecomeHTTPErrorsWithTheBody) {
  database.failNext("modes", FakeDatabase::badGatewayPage());
  try {
    client().from("modes").select().executeDiscardingValue();
    FAIL() << "no error";
  } catch (const helpers::HTTPError& error) {
    EXPECT_EQ(error.response().statusCode, 502);
    EXPECT_EQ(velmoria::base::stringFromData(error.data()), FakeDatabase::badGatewayPage().body);
  }
  const helpers::HTTPURLResponse response;
  for (const char* body : {"", "[]", R"({"code":"x"})", "not json"}) {
    EXPECT_THROW(std::rethrow_exception(
                     errorForFailedAnswer(velmoria::base::dataFromString(body), response, restDefaultDecoder())),
                 helpers::HTTPError)
        << body;
  }
}

TEST_F(AnswerTest, ARowThatDoesNotDecodeIsLoggedOnceThenRethrown) {
  database.insert("sessions", Json{{"user_id", kUserID}, {"date", "d"}, {"started_at", "2024-05-01T08:00:00Z"}});
  auto logger = std::make_shared<CapturingLogger>();
  auto configuration = this->configuration();
  configuration.logger = logger;
  RestClient logging(configuration);

  EXPECT_THROW(logging.from("sessions").select().execute<std::vector<SessionRow>>(), velmoria::base::DecodingError);
  const auto errors = logger->errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].message.rfind("Fail to decode type 'vector<SessionRow> with error: ", 0), 0u)
      << errors[0].message;
  EXPECT_EQ(errors[0].fileID, "Rest/RestBuilder");
  EXPECT_EQ(errors[0].function, "execute(options:)");
  EXPECT_EQ(errors[0].system, "Rest");
  EXPECT_GT(logger->messages().size(), errors.size());  // the request itself went through the logging interceptor

  EXPECT_THROW(client().from("sessions").select().execute<std::vector<SessionRow>>(), velmoria::base::DecodingError);
}

TEST(ContentRangeTest, TheTotalAfterTheLastSlash) {
  EXPECT_EQ(countFromContentRange("0-9/42"), 42);
  EXPECT_EQ(countFromContentRange("*/42"), 42);
  EXPECT_EQ(countFromContentRange("0-9/*"), std::nullopt);
  EXPECT_EQ(countFromContentRange("0-9/"), std::nullopt);
  // Empty pieces are dropped before the last one is taken.
  EXPECT_EQ(countFromContentRange("*/5/"), 5);
  EXPECT_EQ(countFromContentRange("0-9/42//"), 42);
  EXPECT_EQ(countFromContentRange("42"), 42);
  EXPECT_EQ(countFromContentRange("*/0"), 0);
  EXPECT_EQ(countFromContentRange("0-9/4x"), std::nullopt);
  EXPECT_EQ(countFromContentRange("0-9/99999999999999999999"), std::nullopt);
  helpers::HTTPURLResponse response;
  EXPECT_EQ(countFromResponse(response), std::nullopt);
  response.allHeaderFields = {{"content-range", "0-0/7"}};
  EXPECT_EQ(countFromResponse(response), 7);
}

TEST_F(AnswerTest, CountsComeFromTheServicesContentRange) {
  for (int i = 0; i < 5; ++i)
    database.insert(
        "sessions",
        Json{{"user_id", kUserID}, {"date", "d"}, {"started_at", "2024-05-01T08:00:00Z"}, {"duration_seconds", i}});
  const auto counted =
      client().from("sessions").select("id", {.count = CountOption::exact}).range(1, 2).execute<AnyJSON>();
  EXPECT_EQ(counted.count, 5);
  EXPECT_EQ(counted.value.arrayValue()->size(), 2u);
  const auto uncounted = client().from("sessions").select("id").execute<AnyJSON>();
  EXPECT_EQ(uncounted.count, std::nullopt);
  EXPECT_EQ(uncounted.string()->front(), '[');
}

}  // namespace
}  // namespace zirudeze::rest::testing
