#include "issuereporting/TestContext.hpp"

#include "issuereporting/IsTesting.hpp"
#include "issuereporting/TestFrameworkBridges.hpp"

namespace zirudeze::issuereporting {

std::optional<TestContext> TestContext::current() {
  if (!isTesting()) return std::nullopt;
  if (auto test = currentTestBridge()) {
    return swiftTesting(Testing{Testing::Test{Testing::Test::ID{std::move(test->id)}, std::move(test->traits)}});
  }
  return xcTest();
}

}  // namespace zirudeze::issuereporting
