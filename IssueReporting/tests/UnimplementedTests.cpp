#include <stdexcept>

#include <gtest/gtest.h>

#include "issuereporting/IssueReporters.hpp"
#include "issuereporting/Unimplemented.hpp"
#include "issuereporting/WithExpectedIssue.hpp"
#include "issuereporting/testing/RecordingReporter.hpp"

namespace ir = zirudeze::issuereporting;
using ir::testing::RecordingReporter;

namespace {

const ir::DefinitionSite fetchSite{{"Client/Fetch", "/src/Client/Fetch.cpp", 12, 3}, "f"};

struct Opaque {};

}  // namespace

TEST(DebugRender, ArgumentsShowAsTheirDebugForm) {
  EXPECT_EQ(ir::debugRenderArguments(), "()");
  EXPECT_EQ(ir::debugRenderArguments(1), "1");
  EXPECT_EQ(ir::debugRenderArguments(1, std::string("a")), "(1, \"a\")");
  EXPECT_EQ(ir::debugRender(std::string("say \"hi\"\n")), "\"say \\\"hi\\\"\\n\"");
  EXPECT_EQ(ir::debugRender(true), "true");
  EXPECT_EQ(ir::debugRender(2.5), "2.5");
  EXPECT_EQ(ir::debugRender(std::optional<int>(3)), "Optional(3)");
  EXPECT_EQ(ir::debugRender(std::optional<int>()), "nil");
  EXPECT_EQ(ir::debugRender(Opaque{}), "(anonymous namespace)::Opaque");
}

TEST(Unimplemented, ReportsTheDefinitionAndArgumentsThenReturnsThePlaceholder) {
  const auto reporter = std::make_shared<RecordingReporter>();
  const auto endpoint = ir::unimplemented<int(int, std::string)>(
      "", [] { return 7; }, fetchSite);
  ir::withIssueReporters({reporter}, [&] {
    EXPECT_EQ(endpoint(1, "a"), 7);
    EXPECT_EQ(endpoint(2, "b"), 7);
  });
  const auto calls = reporter->calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].requirement, "reportIssue(error)");
  EXPECT_EQ(calls[0].text,
            "Unimplemented \u2026\n\n  Defined in 'f' at:\n    Client/Fetch:12\n\n  Invoked with:\n    (1, \"a\")");
  EXPECT_STREQ(calls[0].location.filePath, "/src/Client/Fetch.cpp");
}

TEST(Unimplemented, ThrowingFormsThrowAfterReporting) {
  const auto reporter = std::make_shared<RecordingReporter>();
  const auto plain = ir::unimplemented<void()>("refresh", fetchSite);
  const auto typed = ir::unimplemented<int(double)>([] { return std::string("typed"); },
                                                    ir::Throwing{[] { return std::out_of_range("no"); }}, fetchSite);
  ir::withIssueReporters({reporter}, [&] {
    try {
      plain();
      ADD_FAILURE() << "should throw";
    } catch (const ir::UnimplementedFailure& failure) {
      EXPECT_EQ(failure.description, "refresh");
    }
    EXPECT_THROW(typed(0.5), std::out_of_range);
  });
  const auto calls = reporter->calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].text,
            "Unimplemented: refresh \u2026\n\n  Defined in 'f' at:\n    Client/Fetch:12\n\n  Invoked with:\n    ()");
  EXPECT_EQ(calls[1].text.rfind("Unimplemented: typed \u2026", 0), 0u);
  EXPECT_NE(calls[1].text.find("Invoked with:\n    0.5"), std::string::npos);
}

TEST(Unimplemented, InsideAnExpectedScopeItCountsAndStillAnswers) {
  const auto reporter = std::make_shared<RecordingReporter>();
  const auto endpoint = ir::unimplemented<bool()>(
      "", [] { return true; }, VM_DEFINITION_SITE());
  bool answer = false;
  ir::withIssueReporters({reporter}, [&] {
    ir::withExpectedIssueOutsideTests(std::nullopt, false, fetchSite.location, [&] { answer = endpoint(); });
  });
  EXPECT_TRUE(answer);
  const auto calls = reporter->calls();
  ASSERT_EQ(calls.size(), 1u) << "counted, so no 'not recorded' complaint";
  EXPECT_EQ(calls[0].requirement, "expectIssue");
  EXPECT_NE(calls[0].text.find("Defined in 'TestBody' at:\n    main/UnimplementedTests:"), std::string::npos);
}
