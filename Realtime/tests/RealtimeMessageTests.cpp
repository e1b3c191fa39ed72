#include <limits>
#include <unordered_set>

#include <gtest/gtest.h>

#include "WireTestSupport.hpp"
#include "realtime/RealtimeMessageV2.hpp"

namespace zirudeze::realtime {
namespace {

using testing::object;
using EventType = RealtimeMessageV2::EventType;

RealtimeMessageV2 frame(std::string_view text) { return RealtimeMessageV2::fromFrameText(text); }

std::optional<velmoria::base::DecodingError> frameError(std::string_view text) {
  try {
    frame(text);
  } catch (const velmoria::base::DecodingError& error) {
    return error;
  }
  return std::nullopt;
}

TEST(RealtimeMessageReading, ReplyWithoutJoinRefReadsItsRefEventAndStatus) {
  const auto message =
      frame(R"({"topic":"realtime:room","event":"phx_reply","payload":{"status":"ok","response":{}},"ref":"3"})");
  EXPECT_EQ(message.joinRef(), std::nullopt);
  EXPECT_EQ(message.ref(), "3");
  EXPECT_EQ(message.topic(), "realtime:room");
  EXPECT_EQ(message.eventType(), EventType::reply);
  EXPECT_EQ(message.status(), PushStatus::ok);
}

TEST(RealtimeMessageReading, NullRefsReadExactlyLikeMissingOnes) {
  const auto withNulls = frame(R"({"join_ref":null,"ref":null,"topic":"t","event":"e","payload":{}})");
  const auto without = frame(R"({"topic":"t","event":"e","payload":{}})");
  EXPECT_EQ(withNulls, without);
  EXPECT_EQ(withNulls.joinRef(), std::nullopt);
  EXPECT_EQ(withNulls.hashValue(), without.hashValue());
}

TEST(RealtimeMessageReading, UnknownKeysAreIgnoredAndKeysMatchExactly) {
  const auto message = frame(R"({"Topic":"x","topic":"t","event":"e","payload":{},"extra":[1]})");
  EXPECT_EQ(message.topic(), "t");
  EXPECT_TRUE(frameError(R"({"TOPIC":"t","event":"e","payload":{}})"));
}

TEST(RealtimeMessageReading, MalformedFramesFailWithTheDecodersError) {
  const auto missingPayload = frameError(R"({"topic":"t","event":"e"})");
  ASSERT_TRUE(missingPayload);
  EXPECT_EQ(missingPayload->kind(), velmoria::base::DecodingError::Kind::keyNotFound);

  const auto arrayPayload = frameError(R"({"topic":"t","event":"e","payload":[]})");
  ASSERT_TRUE(arrayPayload);
  EXPECT_EQ(arrayPayload->kind(), velmoria::base::DecodingError::Kind::typeMismatch);
  EXPECT_EQ(testing::pathText(arrayPayload->codingPath()), "payload");

  EXPECT_TRUE(frameError(R"({"topic":1,"event":"e","payload":{}})"));
  EXPECT_TRUE(frameError(R"({"topic":"t","event":"e","payload":{},"ref":5})"));
  EXPECT_TRUE(frameError(R"({"topic":"t","event":"e","payload":{},"join_ref":true})"));
  EXPECT_TRUE(frameError(R"(["t","e"])"));
  EXPECT_TRUE(frameError(R"({"topic":"t","event":"e","payload":{}} trailing)"));
  EXPECT_TRUE(frameError("{\"topic\":\"\xff\",\"event\":\"e\",\"payload\":{}}"));
}

TEST(RealtimeMessageReading, FastAndDocumentRoutesAgree) {
  const std::string text =
      R"({"join_ref":"1","ref":"2","topic":"realtime:a","event":"broadcast","payload":{"n":1.5,"list":[true,null,"x"],"nested":{"k":-3}}})";
  EXPECT_EQ(frame(text), velmoria::base::JSONDecoder{}.decode<RealtimeMessageV2>(text));
}

TEST(RealtimeMessageWriting, KeysComeInOrderAndAbsentRefsWriteNothing) {
  const RealtimeMessageV2 both("1", "2", "realtime:a", "phx_join", object(R"({"b":1,"a":2})"));
  EXPECT_EQ(both.frameText(),
            R"({"join_ref":"1","ref":"2","topic":"realtime:a","event":"phx_join","payload":{"a":2,"b":1}})");
  const RealtimeMessageV2 none(std::nullopt, std::nullopt, "phoenix", "heartbeat", {});
  EXPECT_EQ(none.frameText(), R"({"topic":"phoenix","event":"heartbeat","payload":{}})");
  EXPECT_EQ(frame(both.frameText()), both);
}

TEST(RealtimeMessageWriting, FrameTextIsWhatTheCodersWrite) {
  const RealtimeMessageV2 message(
      "7", std::nullopt, "realtime:a \"quoted\"", "broadcast",
      object(
          R"({"z":[1,-2,3.25,1e300,0.0,true,null],"a":{"nested":"tab\tnew\nline\u0001 \u00e9 \ud83d\ude00"},"m":-0.5,"big":9007199254740993})"));
  EXPECT_EQ(message.frameText(), velmoria::base::JSONEncoder{}.encodeToString(message));
  EXPECT_EQ(frame(message.frameText()), message);
}

TEST(RealtimeMessageWriting, ValuesNoJSONCanHoldAreRefused) {
  helpers::JSONObject payload;
  payload.emplace("x", helpers::AnyJSON(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_THROW(RealtimeMessageV2(std::nullopt, std::nullopt, "t", "e", payload).frameText(),
               velmoria::base::EncodingError);
  EXPECT_THROW(RealtimeMessageV2(std::nullopt, std::nullopt, "t\xff", "e", {}).frameText(),
               velmoria::base::EncodingError);
}

TEST(RealtimeMessageClassification, EventStringsMatchExactly) {
  const std::pair<const char*, std::optional<EventType>> cases[] = {
      {"system", EventType::system},
      {"postgres_changes", EventType::postgresChanges},
      {"broadcast", EventType::broadcast},
      {"phx_close", EventType::close},
      {"phx_error", EventType::error},
      {"presence_diff", EventType::presenceDiff},
      {"presence_state", EventType::presenceState},
      {"phx_reply", EventType::reply},
      {"PHX_REPLY", std::nullopt},
      {"phx_reply ", std::nullopt},
      {"tokenExpired", std::nullopt},
      {"phx_join", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [event, expected] : cases) {
    EXPECT_EQ(RealtimeMessageV2(std::nullopt, std::nullopt, "t", event, {}).eventType(), expected) << event;
  }
}

TEST(RealtimeMessageClassification, StatusIsReadOnlyFromAnExactString) {
  const auto status = [](std::string_view payload) {
    return RealtimeMessageV2(std::nullopt, std::nullopt, "t", "phx_reply", object(payload)).status();
  };
  EXPECT_EQ(status(R"({"status":"ok"})"), PushStatus::ok);
  EXPECT_EQ(status(R"({"status":"error"})"), PushStatus::error);
  EXPECT_EQ(status(R"({"status":"timeout"})"), PushStatus::timeout);
  EXPECT_EQ(status(R"({"status":"OK"})"), std::nullopt);
  EXPECT_EQ(status(R"({"status":1})"), std::nullopt);
  EXPECT_EQ(status(R"({"response":{"status":"ok"}})"), std::nullopt);
  EXPECT_EQ(status("{}"), std::nullopt);
  // Any event carries a status.
  EXPECT_EQ(RealtimeMessageV2(std::nullopt, std::nullopt, "t", "system", object(R"({"status":"ok"})")).status(),
            PushStatus::ok);
}

TEST(RealtimeMessageEquality, OnePayloadMemberMakesThemDiffer) {
  const RealtimeMessageV2 a("1", "2", "t", "e", object(R"({"x":1,"y":"z"})"));
  const RealtimeMessageV2 b("1", "2", "t", "e", object(R"({"x":1,"y":"w"})"));
  const RealtimeMessageV2 c("1", "2", "t", "e", object(R"({"y":"z","x":1})"));
  EXPECT_NE(a, b);
  EXPECT_EQ(a, c);
  EXPECT_NE(a, RealtimeMessageV2(std::nullopt, "2", "t", "e", a.payload()));
  EXPECT_NE(a, RealtimeMessageV2("1", std::nullopt, "t", "e", a.payload()));
  const std::unordered_set<RealtimeMessageV2> set = {a, b, c};
  EXPECT_EQ(set.size(), 2u);
  EXPECT_EQ(&a.rawMessage(), &a);
}

}  // namespace
}  // namespace zirudeze::realtime
