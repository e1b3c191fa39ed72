// The client: headers, tokens, schemas, function calls, and arguments refused before anything is sent.
#include <atomic>
#include <cmath>
#include <thread>

#include "RestTestSupport.hpp"
#include "helpers/AnyJSON.hpp"
#include "helpers/RestError.hpp"

namespace zirudeze::rest::testing {
namespace {

using helpers::AnyJSON;

class ClientTest : public RestTest {};

TEST_F(ClientTest, AddsItsClientInfoOnlyWhenTheCallerHasNone) {
  EXPECT_EQ(client().configuration().headers.at("X-Client-Info"), "rest-cpp/2.41.1");
  auto own = configuration();
  own.headers = {{"X-Client-Info", "zirudeze-cpp/2.41.1"}};
  RestClient facade(own);
  facade.from("modes").select().executeDiscardingValue();
  EXPECT_EQ(backend.lastRequest().headerValues("X-Client-Info"), std::vector<std::string>{"zirudeze-cpp/2.41.1"});
}

TEST_F(ClientTest, SetAuthChangesOnlyTheExactKeyAndOnlyLaterBuilders) {
  auto own = configuration();
  own.headers = {{"authorization", "kept"}, {"Bad Name", "dropped"}};
  RestClient rest(own);
  rest.setAuth(std::nullopt);
  EXPECT_EQ(rest.configuration().headers,
            (std::map<std::string, std::string>{
                {"Bad Name", "dropped"}, {"X-Client-Info", "rest-cpp/2.41.1"}, {"authorization", "kept"}}));

  rest.setAuth("old");
  auto before = rest.from("modes").select();
  rest.setAuth("new");
  auto after = rest.from("modes").select();
  EXPECT_EQ(rest.configuration().headers.at("authorization"), "kept");

  before.executeDiscardingValue();
  EXPECT_EQ(backend.lastRequest().header("Authorization"), "Bearer old");
  EXPECT_FALSE(backend.lastRequest().header("Bad Name"));
  after.executeDiscardingValue();
  EXPECT_EQ(backend.lastRequest().header("Authorization"), "Bearer new");
  rest.setAuth(std::nullopt);
  EXPECT_FALSE(rest.configuration().headers.contains("Authorization"));
}

TEST_F(ClientTest, SetAuthRacingBuildersNeverShowsAHalfChange) {
  RestClient rest(configuration());
  std::atomic<bool> stop = false;
  std::thread writer([&] {
    for (int i = 0; !stop; ++i) rest.setAuth("token-" + std::to_string(i % 7));
  });
  std::vector<std::thread> readers;
  std::atomic<int> torn = 0;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      for (int i = 0; i < 300; ++i) {
        const auto value = rest.from("modes").select().request().headers[http::HTTPField::Name::authorization()];
        if (value && value->rfind("Bearer token-", 0) != 0) ++torn;
      }
    });
  }
  for (auto& reader : readers) reader.join();
  stop = true;
  writer.join();
  EXPECT_EQ(torn, 0);
}

TEST_F(ClientTest, OneBuilderSharedBetweenThreadsKeepsEveryFilter) {
  auto shared = client().from("modes").select("*");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([shared, t]() mutable {
      for (int i = 0; i < 50; ++i) shared.eq("c" + std::to_string(t), i);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(shared.request().query.size(), 201u);
}

TEST_F(ClientTest, SchemaMakesANewClientAndLeavesTheReceiver) {
  database.createTable({.name = "notes", .columns = {{.name = "body"}}, .schema = "private"});
  RestClient rest(configuration());
  const RestClient other = rest.schema("private");
  EXPECT_EQ(other.configuration().schema, "private");
  EXPECT_EQ(rest.configuration().schema, std::nullopt);
  other.from("notes").select().executeDiscardingValue();
  EXPECT_EQ(backend.lastRequest().header("Accept-Profile"), "private");
  try {
    rest.schema("elsewhere").from("notes").select().executeDiscardingValue();
    FAIL() << "no error";
  } catch (const helpers::RestError& error) {
    EXPECT_EQ(error.code, "PGRST106");
  }
}

TEST_F(ClientTest, RefusedArgumentsAreThrownAtExecuteAndNothingIsSent) {
  std::vector<RestFilterBuilder> refused;
  refused.push_back(client().from("modes").select().setHeader("Bad Name", "x").eq("id", 1));
  refused.push_back(client().from("modes").setHeader("Bad:Name", "x").select());
  refused.push_back(client().from("modes").select().contains("data", helpers::JSONObject{{"x", std::nan("")}}));
  refused.push_back(client().from("modes").select().in("data", {AnyJSON::object({{"x", INFINITY}})}));
  refused.push_back(client().from("modes").select().range(std::numeric_limits<std::int64_t>::min(), 0));
  refused.push_back(client().from("modes").select().eq("name", std::string("\xff\xfe")));
  const std::size_t sent = backend.requestCount();
  for (auto& builder : refused) {
    EXPECT_THROW(builder.executeDiscardingValue(), RestBuilderError);
    EXPECT_THROW(builder.execute<AnyJSON>(), RestBuilderError);
  }
  EXPECT_EQ(backend.requestCount(), sent);
  // The first refusal is the one reported.
  auto two = client().from("modes").select().setHeader("A B", "x").range(0, std::numeric_limits<std::int64_t>::max());
  try {
    two.executeDiscardingValue();
  } catch (const RestBuilderError& error) {
    EXPECT_STREQ(error.what(), "\"A B\" is not a valid header name");
  }
}

// Parameters whose coding order is not their key order.
struct AddParams {
  std::int64_t b = 2;
  std::int64_t a = 1;
  void encode(velmoria::base::Encoder& encoder) const {
    auto container = encoder.container();
    container.encode("b", b);
    container.encode("a", a);
  }
};

class RpcTest : public RestTest {
 protected:
  RpcTest() {
    database.createFunction("echo", [](const Json& arguments) { return arguments; });
    database.createFunction("modes", [](const Json&) {
      return Json::parse(
          R"([{"id":1,"block_on_mac":true},{"id":2,"block_on_mac":false},{"id":3,"block_on_mac":true}])");
    });
  }
};

TEST_F(RpcTest, WithoutParametersPostsAnEmptyObject) {
  const auto response = client().rpc("echo").execute<AnyJSON>();
  EXPECT_EQ(response.value, AnyJSON(helpers::JSONObject{}));
  EXPECT_EQ(backend.lastRequest().method, "POST");
  EXPECT_EQ(backend.lastRequest().path, "/rest/v1/rpc/echo");
  EXPECT_EQ(backend.lastRequest().body, "{}");
  EXPECT_EQ(backend.lastRequest().header("Content-Type"), "application/json");
}

TEST_F(RpcTest, GetAndHeadSendTheParametersAsQueryItemsInKeyOrder) {
  const auto response = client().rpc("echo", AddParams{}, {.get = true}).execute<AnyJSON>();
  EXPECT_EQ(backend.lastRequest().method, "GET");
  EXPECT_EQ(backend.lastRequest().rawQuery, "a=1&b=2");
  EXPECT_TRUE(backend.lastRequest().body.empty());
  EXPECT_EQ(response.value, AnyJSON::object({{"a", "1"}, {"b", "2"}}));

  client().rpc("echo", {.get = true}).executeDiscardingValue();
  EXPECT_EQ(backend.lastRequest().rawQuery, "");
  EXPECT_TRUE(backend.lastRequest().body.empty());

  client().rpc("echo", AddParams{}, {.head = true, .get = true, .count = CountOption::exact}).executeDiscardingValue();
  EXPECT_EQ(backend.lastRequest().method, "HEAD");
  EXPECT_EQ(backend.lastRequest().header("Prefer"), "count=exact");
  EXPECT_EQ(backend.lastRequest().header("Accept-Profile"), std::nullopt);
}

TEST_F(RpcTest, QueryParameterValuesAreWrittenPlainly) {
  const auto params = AnyJSON::object({{"ids", AnyJSON::array({1, 2, 3})},
                                       {"name", "a b&c"},
                                       {"ratio", 1.5},
                                       {"whole", 2.0},
                                       {"on", true},
                                       {"none", nullptr},
                                       {"nested", AnyJSON::object({{"z", 1}, {"a", AnyJSON::array({"x"})}})}});
  client().rpc("echo", params, {.get = true}).executeDiscardingValue();
  const RecordedRequest request = backend.lastRequest();
  EXPECT_EQ(request.queryValue("ids"), "{1,2,3}");
  EXPECT_NE(request.rawQuery.find("ids=%7B1%2C2%2C3%7D"), std::string::npos);
  EXPECT_EQ(request.queryValue("name"), "a b&c");
  EXPECT_EQ(request.queryValue("ratio"), "1.5");
  EXPECT_EQ(request.queryValue("whole"), "2");
  EXPECT_EQ(request.queryValue("on"), "true");
  EXPECT_EQ(request.queryValue("none"), "null");
  EXPECT_EQ(request.queryValue("nested"), R"({"a":["x"],"z":1})");
}

// Array elements stay one element each, and whole doubles reach an integer parameter as integers.
TEST_F(RpcTest, ArrayParametersQuoteTheirElementsAndDoublesStayPlainDecimals) {
  const auto params = AnyJSON::object({{"tags", AnyJSON::array({"a,b", "c d", "", R"(q"\)", "NULL", nullptr, "plain"})},
                                       {"grid", AnyJSON::array({AnyJSON::array({1, 2}), AnyJSON::array({"x y"})})},
                                       {"docs", AnyJSON::array({AnyJSON::object({{"k", 1}})})},
                                       {"ratios", AnyJSON::array({0.5, 100000.0, 1e-7})},
                                       {"text", "a,b {c}"},
                                       {"d100000", 100000.0},
                                       {"d123456", 123456.0},
                                       {"d1e15", 1e15},
                                       {"d1e16", 1e16},
                                       {"d0_0001", 0.0001},
                                       {"d1e_7", 1e-7},
                                       {"dneg0", -0.0}});
  client().rpc("echo", params, {.get = true}).executeDiscardingValue();
  const RecordedRequest request = backend.lastRequest();
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"tags", R"({"a,b","c d","","q\"\\","NULL",null,plain})"},
      {"grid", R"({{1,2},{"x y"}})"},
      {"docs", R"({"{\"k\":1}"})"},
      {"ratios", "{0.5,100000,1e-07}"},
      {"text", "a,b {c}"},
      {"d100000", "100000"},
      {"d123456", "123456"},
      {"d1e15", "1000000000000000"},
      {"d1e16", "1e+16"},
      {"d0_0001", "0.0001"},
      {"d1e_7", "1e-07"},
      {"dneg0", "-0"},
  };
  for (const auto& [name, value] : expected) EXPECT_EQ(request.queryValue(name), value) << name;
  EXPECT_NE(request.rawQuery.find("tags=%7B%22a%2Cb%22%2C%22c%20d%22%2C"), std::string::npos) << request.rawQuery;
}

TEST_F(RpcTest, GetWithParametersThatAreNotAnObjectThrows) {
  const std::size_t sent = backend.requestCount();
  try {
    client().rpc("echo", std::vector<int>{1, 2}, {.get = true});
    FAIL() << "no error";
  } catch (const helpers::RestError& error) {
    EXPECT_EQ(error.message, "Params should be a key-value type when using `GET` or `HEAD` options.");
    EXPECT_FALSE(error.code || error.detail || error.hint);
  }
  EXPECT_THROW(client().rpc("echo", 5.0, {.head = true}), helpers::RestError);
  EXPECT_THROW(client().rpc("echo", std::nan(""), {}), velmoria::base::EncodingError);
  EXPECT_EQ(backend.requestCount(), sent);
  // Posted, any encodable value is the body; this fake refuses arguments that are not an object.
  EXPECT_THROW(client().rpc("echo", std::vector<int>{1, 2}).executeDiscardingValue(), helpers::RestError);
  EXPECT_EQ(backend.lastRequest().body, "[1,2]");
}

TEST_F(RpcTest, FiltersAndTransformsApplyToTheResultRows) {
  auto call = client().rpc("modes");
  call.eq("block_on_mac", true).order("id", {.ascending = false}).limit(1);
  const auto response = call.execute<AnyJSON>();
  EXPECT_EQ(response.value, AnyJSON::array({AnyJSON::object({{"id", 3}, {"block_on_mac", true}})}));
  EXPECT_EQ(backend.lastRequest().rawQuery, "block_on_mac=eq.true&order=id.desc.nullslast&limit=1");
}

}  // namespace
}  // namespace zirudeze::rest::testing
