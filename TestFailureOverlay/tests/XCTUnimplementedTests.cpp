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
struct zirudeze::testfailureoverlay::CaseIterable<Mode> {
  static std::vector<Mode> allCases() { return {Mode::rest, Mode::focus}; }
};

template <>
struct zirudeze::testfailureoverlay::RawRepresentable<Token> {
  using RawValue = std::string;
  static std::optional<Token> fromRawValue(const std::string& raw) { return Token{raw + "!"}; }
};

TEST(Placeholder, EachKindGetsItsEmptyValue) {
  EXPECT_EQ(zirudeze::testfailureoverlay::generatePlaceholder<int>(), 0);
  EXPECT_EQ(zirudeze::testfailureoverlay::generatePlaceholder<double>(), 0.0);
  EXPECT_FALSE(zirudeze::testfailureoverlay::generatePlaceholder<bool>());
  EXPECT_EQ(zirudeze::testfailureoverlay::generatePlaceholder<char>(), ' ');
  EXPECT_EQ(zirudeze::testfailureoverlay::generatePlaceholder<std::string>(), "");
  EXPECT_TRUE(zirudeze::testfailureoverlay::generatePlaceholder<std::vector<std::uint8_t>>().empty());
  EXPECT_TRUE((zirudeze::testfailureoverlay::generatePlaceholder<std::map<std::string, int>>().empty()));
  EXPECT_EQ(zirudeze::testfailureoverlay::generatePlaceholder<std::optional<Plain>>().has_value(), false);
  EXPECT_EQ(zirudeze::testfailureoverlay::generatePlaceholder<Mode>(), Mode::rest);
  EXPECT_EQ(zirudeze::testfailureoverlay::generatePlaceholder<Token>().raw, "!");
  EXPECT_NE(zirudeze::testfailureoverlay::generatePlaceholder<velmoria::base::UUID>(),
            zirudeze::testfailureoverlay::generatePlaceholder<velmoria::base::UUID>());
  EXPECT_THROW(zirudeze::testfailureoverlay::generatePlaceholder<Plain>(),
               zirudeze::testfailureoverlay::PlaceholderGenerationFailure);
}

TEST(Placeholder, StreamsEndAtOnce) {
  auto stream = zirudeze::testfailureoverlay::generatePlaceholder<zirudeze::concurrency::AsyncStream<int>>();
  EXPECT_EQ(stream.next(), std::nullopt);
  auto failing = zirudeze::testfailureoverlay::generatePlaceholder<zirudeze::concurrency::AsyncThrowingStream<int>>();
  EXPECT_THROW(failing.next(), zirudeze::concurrency::CancellationError);
}

TEST(XCTUnimplemented, ReportsOnEveryCallAndReturnsAPlaceholder) {
  const auto reporter = std::make_shared<RecordingReporter>();
  const auto count = zirudeze::testfailureoverlay::XCTUnimplemented<int(std::string)>("count", site);
  const auto mode = zirudeze::testfailureoverlay::XCTUnimplemented<Mode()>("", site);
  const auto given = zirudeze::testfailureoverlay::XCTUnimplemented<int()>(
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
  const auto load = zirudeze::testfailureoverlay::XCTUnimplementedThrowing<void()>("load");
  ir::withIssueReporters({reporter}, [&] { EXPECT_THROW(load(), ir::UnimplementedFailure); });
  const auto calls = reporter->calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_STREQ(calls[0].location.fileID, "TestFailureOverlay/Deprecations");
  EXPECT_NE(calls[0].text.find("Defined in 'XCTUnimplemented(_:)' at:\n    TestFailureOverlay/Deprecations:"),
            std::string::npos);
}

TEST(XCTUnimplementedDeathTest, ATypeWithoutAPlaceholderStopsWithAdvice) {
  const auto load = zirudeze::testfailureoverlay::XCTUnimplemented<Plain()>("load", site);
  const auto unnamed = zirudeze::testfailureoverlay::XCTUnimplemented<Plain()>("", site);
  ir::withIssueReporters({}, [&] {
    EXPECT_DEATH(load(),
                 "/src/Feature/Deps.cpp:40: Fatal error: unimplemented\\(\"load\"\\)\n\nTo suppress this "
                 "crash, provide an explicit \"placeholder\"\\.");
    EXPECT_DEATH(unnamed(), "Fatal error: unimplemented\\(\\)\n");
  });
}
