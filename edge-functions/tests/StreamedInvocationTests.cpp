#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "FunctionsTestSupport.hpp"
#include "helpers/URLError.hpp"

namespace zirudeze::functions::testing {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> numbered(int count) {
  std::vector<std::string> chunks;
  for (int i = 0; i < count; ++i) chunks.push_back("chunk-" + std::to_string(i) + ";");
  return chunks;
}

TEST_F(FunctionsTest, AStreamYieldsTheChunksInOrderAcrossDelaysAndEnds) {
  functions.stream("feed", numbered(5), 20ms);
  const auto stream = client().invokeWithStreamedResponse("feed");
  std::string received;
  for (const auto& chunk : drain(stream)) received += chunk;
  EXPECT_EQ(received, "chunk-0;chunk-1;chunk-2;chunk-3;chunk-4;");
  EXPECT_TRUE(functions.waitForStreamEnds("feed", 1, 5s));
  EXPECT_EQ(functions.streamEnds("feed"), std::vector<bool>{true});
}

TEST_F(FunctionsTest, AStreamCarriesTheClientsHeadersAndRegionButBypassesTheFetch) {
  functions.stream("feed", {"x"}, 0ms);
  auto functionsClient = client("eu-west-2", {{"Apikey", "key"}});
  functionsClient.setAuth("pushed");
  drain(functionsClient.invokeWithStreamedResponse("feed", {{.query = {{"q", "1"}}, .headers = {{"X-Extra", "e"}}}}));
  const auto sent = functions.invocations("feed").back();
  EXPECT_EQ(sent.method, "POST");
  EXPECT_EQ(sent.header("Authorization"), "Bearer pushed");
  EXPECT_EQ(sent.header("Apikey"), "key");
  EXPECT_EQ(sent.header("X-Extra"), "e");
  EXPECT_EQ(sent.header("x-region"), "eu-west-2");
  EXPECT_EQ(sent.rawQuery, "q=1&forceFunctionRegion=eu-west-2");
  EXPECT_TRUE(fetch.requests().empty());
}

TEST_F(FunctionsTest, ARefusedStreamEndsWithTheErrorBeforeAnyChunk) {
  functions.respond("broken", 500, "server says no");
  const auto stream = client().invokeWithStreamedResponse("broken");
  try {
    const auto first = stream.next();
    ADD_FAILURE() << "a chunk of a 500 arrived: " << (first ? first->size() : 0);
  } catch (const FunctionsError& error) {
    EXPECT_EQ(error.kind(), FunctionsError::Kind::httpError);
    EXPECT_EQ(error.code(), 500);
    EXPECT_TRUE(error.data().empty());
  }
  EXPECT_FALSE(stream.next());

  functions.respond("relay", 200, "", {{"x-relay-error", "true"}});
  try {
    drain(client().invokeWithStreamedResponse("relay"));
    ADD_FAILURE() << "a relay error passed";
  } catch (const FunctionsError& error) {
    EXPECT_EQ(error.kind(), FunctionsError::Kind::relayError);
  }
}

TEST_F(FunctionsTest, ARefusedStreamStopsItsTransfer) {
  functions.stream("refused", numbered(200), 10ms, 503);
  EXPECT_THROW(drain(client().invokeWithStreamedResponse("refused")), FunctionsError);
  ASSERT_TRUE(functions.waitForStreamEnds("refused", 1, 5s));
  EXPECT_EQ(functions.streamEnds("refused"), std::vector<bool>{false});
}

TEST_F(FunctionsTest, AConsumerThatStopsReadingClosesTheConnection) {
  functions.stream("endless", numbered(500), 10ms);
  {
    const auto stream = client().invokeWithStreamedResponse("endless");
    ASSERT_TRUE(stream.next());
    ASSERT_TRUE(stream.next());
  }
  ASSERT_TRUE(functions.waitForStreamEnds("endless", 1, 5s));
  EXPECT_EQ(functions.streamEnds("endless"), std::vector<bool>{false});
}

TEST_F(FunctionsTest, ACancelledConsumerStopsTheTransferToo) {
  functions.stream("endless", numbered(500), 10ms);
  const auto stream = client().invokeWithStreamedResponse("endless");
  std::stop_source stop;
  ASSERT_TRUE(stream.next(stop.get_token()));
  std::thread canceller([&] {
    std::this_thread::sleep_for(30ms);
    stop.request_stop();
  });
  while (stream.next(stop.get_token())) {
  }
  canceller.join();
  ASSERT_TRUE(functions.waitForStreamEnds("endless", 1, 5s));
  EXPECT_EQ(functions.streamEnds("endless"), std::vector<bool>{false});
}

TEST_F(FunctionsTest, AnAnswerThatIsNoHTTPEndsTheStreamAsABadServerResponse) {
  velmoria::testsupport::ScriptedResponse garbage;
  garbage.raw = "SSH-2.0-not-http\r\n\r\n";
  backend.respond("*", "/functions/v1/garbage", garbage);
  try {
    drain(client().invokeWithStreamedResponse("garbage"));
    ADD_FAILURE() << "a non-HTTP answer passed";
  } catch (const helpers::URLError& error) {
    EXPECT_EQ(error.code(), helpers::URLError::Code::badServerResponse);
  }
}

}  // namespace
}  // namespace zirudeze::functions::testing
