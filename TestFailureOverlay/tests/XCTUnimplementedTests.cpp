#include <gtest/gtest.h>

#include "issuereporting/IssueReporters.hpp"
#include "issuereporting/testing/RecordingReporter.hpp"
#include "testfailureoverlay/XCTUnimplemented.hpp"

namespace ir = zirudeze::issuereporting;
using ir::testing::RecordingReporter;

namespace {

enum class Mode { focus, rest };

struct Token {
  std::string raw;
};

struct Plain {
  int value = 1;
};

const ir::DefinitionSite site{{"Feature/Deps", "/src/Feature/Deps.cpp", 40, 2}, "liveValue"};

}  // namespace

template <>
struct ir::CaseIterable<Mode> {
  static std::vector<Mode> allCases() { return {Mode::rest, Mode::focus}; }
};

template <>
struct ir::RawRepresentable<Token> {
  using RawValue = std::string;
  static std::optional<Token> fromRawValue(const std::string& raw) { return Token{raw + "!"}; }
};

TEST(Placeholder, EachKindGetsItsEmptyValue) {
  EXPECT_EQ(ir::generatePlaceholder<int>(), 0);
  EXPECT_EQ(ir::generatePlaceholder<double>(), 0.0);
  EXPECT_FALSE(ir::generatePlaceholder<bool>());
  EXPECT_EQ(ir::generatePlaceholder<char>(), ' ');
  EXPECT_EQ(ir::generatePlaceholder<std::string>(), "");
  EXPECT_TRUE(ir::generatePlaceholder<std::vector<std::uint8_t>>().empty());
  EXPECT_TRUE((ir::generatePlaceholder<std::map<std::string, int>>().empty()));
  EXPECT_EQ(ir::generatePlaceholder<std::optional<Plain>>().has_value(), false);
  EXPECT_EQ(ir::generatePlaceholder<Mode>(), Mode::rest);
  EXPECT_EQ(ir::generatePlaceholder<Token>().raw, "!");
  EXPECT_NE(ir::generatePlaceholder<base::UUID>(), ir::generatePlaceholder<base::UUID>());
  EXPECT_THROW(ir::generatePlaceholder<Plain>(), ir::PlaceholderGenerationFailure);
}

TEST(Placeholder, StreamsEndAtOnce) {
  auto stream = ir::generatePlaceholder<zirudeze::helpers::AsyncStream<int>>();
  EXPECT_EQ(stream.next(), std::nullopt);
  auto failing = ir::generatePlaceholder<zirudeze::helpers::AsyncThrowingStream<int>>();
  EXPECT_THROW(failing.next(), zirudeze::helpers::CancellationError);
}

TEST(XCTUnimplemented, ReportsOnEveryCallAndReturnsAPlaceholder) {
  const auto reporter = std::make_shared<RecordingReporter>();
  const auto count = ir::XCTUnimplemented<int(std::string)>("count", site);
  const auto mode = ir::XCTUnimplemented<Mode()>("", site);
  const auto given = ir::XCTUnimplemented<int()>(
      "", [] { return 5; }, site);
  ir::withIssueReporters({reporter}, [&] {
    EXPECT_EQ(count("a"), 0);
    EXPECT_EQ(count("b"), 0);
    EXPECT_EQ(mode(), Mode::rest);
    EXPECT_EQ(given(), 5);
  });
  const auto calls = reporter->calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].text,
            "Unimplemented: count \u2026\n\n  Defined in 'liveValue' at:\n    Feature/Deps:40\n\n  Invoked with:\n"
            "    \"a\"");
}

TEST(XCTUnimplemented, TheSuspendingThrowingFormReportsFromTheOverlay) {
  const auto reporter = std::make_shared<RecordingReporter>();
  const auto load = ir::XCTUnimplementedThrowing<void()>("load");
  ir::withIssueReporters({reporter}, [&] { EXPECT_THROW(load(), ir::UnimplementedFailure); });
  const auto calls = reporter->calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_STREQ(calls[0].location.fileID, "TestFailureOverlay/Deprecations");
  EXPECT_NE(calls[0].text.find("Defined in 'XCTUnimplemented(_:)' at:\n    TestFailureOverlay/Deprecations:"),
            std::string::npos);
}

TEST(XCTUnimplementedDeathTest, ATypeWithoutAPlaceholderStopsWithAdvice) {
  const auto load = ir::XCTUnimplemented<Plain()>("load", site);
  const auto unnamed = ir::XCTUnimplemented<Plain()>("", site);
  ir::withIssueReporters({}, [&] {
    EXPECT_DEATH(load(),
                 "/src/Feature/Deps.cpp:40: Fatal error: unimplemented\\(\"load\"\\)\n\nTo suppress this "
                 "crash, provide an explicit \"placeholder\"\\.");
    EXPECT_DEATH(unnamed(), "Fatal error: unimplemented\\(\\)\n");
  });
}
