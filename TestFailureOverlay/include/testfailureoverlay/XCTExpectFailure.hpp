#pragma once

#include <dlfcn.h>

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "testfailureoverlay/RuntimeLookup.hpp"
#include "testfailureoverlay/XCTIssue.hpp"

namespace zirudeze::testfailureoverlay {

using IssueMatcher = std::function<bool(const XCTIssue&)>;

}  // namespace zirudeze::testfailureoverlay

namespace zirudeze::testfailureoverlay::detail {

// The framework's options object (strict unless told otherwise) with the matcher attached, or none
// when the framework is not there.
RuntimeLookup::Object makeExpectedFailureOptions(std::optional<bool> strict, const std::optional<IssueMatcher>& matcher,
                                                 const RuntimeLookup& runtime);

}  // namespace zirudeze::testfailureoverlay::detail

namespace zirudeze::testfailureoverlay {

// Runs `failingBlock` as code expected to fail, when a test framework is there to be told; otherwise
// (as in the shipped program) just runs it. Returns its value; its error passes through.
template <class Block>
auto XCTExpectFailure(const std::optional<std::string>& failureReason, std::optional<bool> enabled,
                      std::optional<bool> strict, Block&& failingBlock,
                      const std::optional<IssueMatcher>& issueMatcher = std::nullopt,
                      const RuntimeLookup& runtime = platformRuntime()) -> std::invoke_result_t<Block&> {
  using T = std::invoke_result_t<Block&>;
  if (enabled == false) return failingBlock();
  const auto options = detail::makeExpectedFailureOptions(strict, issueMatcher, runtime);
  const auto expect = options ? runtime.expectFailureInBlock("XCTExpectFailureWithOptionsInBlock")
                              : RuntimeLookup::ExpectFailureInBlock{};
  if (!expect) {
    (void)dlerror();
    return failingBlock();
  }
  std::exception_ptr error;
  if constexpr (std::is_void_v<T>) {
    expect(failureReason, options, [&] {
      try {
        failingBlock();
      } catch (...) {
        error = std::current_exception();
      }
    });
    if (error) std::rethrow_exception(error);
  } else {
    std::optional<T> value;
    expect(failureReason, options, [&] {
      try {
        value.emplace(failingBlock());
      } catch (...) {
        error = std::current_exception();
      }
    });
    if (error) std::rethrow_exception(error);
    return std::move(*value);
  }
}

// Expects failures for the rest of the current test, when a test framework is there.
void XCTExpectFailure(const std::optional<std::string>& failureReason, std::optional<bool> enabled,
                      std::optional<bool> strict, const std::optional<IssueMatcher>& issueMatcher = std::nullopt,
                      const RuntimeLookup& runtime = platformRuntime());

// The framework's current test case object, or none.
RuntimeLookup::Object currentTestCase(const RuntimeLookup& runtime = platformRuntime());

}  // namespace zirudeze::testfailureoverlay
