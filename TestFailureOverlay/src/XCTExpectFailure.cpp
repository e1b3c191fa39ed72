#include "testfailureoverlay/XCTExpectFailure.hpp"

namespace zirudeze::testfailureoverlay::detail {

RuntimeLookup::Object makeExpectedFailureOptions(std::optional<bool> strict, const std::optional<IssueMatcher>& matcher,
                                                 const RuntimeLookup& runtime) {
  const auto optionsClass = runtime.classNamed("XCTExpectedFailureOptions");
  if (!optionsClass) return nullptr;
  const auto options = strict.value_or(true) ? runtime.send(runtime.send(optionsClass, "alloc"), "init")
                                             : runtime.send(optionsClass, "nonStrictOptions");
  if (!options) return nullptr;
  if (matcher) {
    runtime.setBlock(
        options,
        [matcher = *matcher, &runtime](const RuntimeLookup::Object& issue) {
          const auto value = XCTIssue::from(issue, runtime);
          return value && matcher(*value);
        },
        "issueMatcher");
  }
  return options;
}

}  // namespace zirudeze::testfailureoverlay::detail

namespace zirudeze::testfailureoverlay {

void XCTExpectFailure(const std::optional<std::string>& failureReason, std::optional<bool> enabled,
                      std::optional<bool> strict, const std::optional<IssueMatcher>& issueMatcher,
                      const RuntimeLookup& runtime) {
  if (enabled == false) return;
  const auto options = detail::makeExpectedFailureOptions(strict, issueMatcher, runtime);
  const auto expect = options ? runtime.expectFailure("XCTExpectFailureWithOptions") : RuntimeLookup::ExpectFailure{};
  if (!expect) {
    (void)dlerror();
    return;
  }
  expect(failureReason, options);
}

RuntimeLookup::Object currentTestCase(const RuntimeLookup& runtime) {
  const auto center = runtime.classNamed("XCTestObservationCenter");
  if (!center) return nullptr;
  const auto shared = runtime.send(center, "sharedTestObservationCenter");
  if (!shared) return nullptr;
  const auto observers = runtime.send(shared, "observers");
  if (!observers) return nullptr;
  for (const auto& observer : runtime.elements(observers)) {
    if (runtime.classNameOf(observer) == "XCTestMisuseObserver") return runtime.send(observer, "currentTestCase");
  }
  return nullptr;
}

}  // namespace zirudeze::testfailureoverlay
