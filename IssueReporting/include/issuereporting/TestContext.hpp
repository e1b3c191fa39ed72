#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zirudeze::issuereporting {

// Which test framework runs the current code. Here "swiftTesting" means a GoogleTest test is current;
// "xcTest" means the run is under tests with no current test (set-up, static initialisation, or a
// program without the test-support library).
class TestContext {
 public:
  struct Testing {
    struct Test {
      struct ID {
        std::string rawValue;
        bool operator==(const ID&) const = default;
      };
      ID id;
      std::vector<std::string> traits;
      // Identity only: traits do not take part.
      bool operator==(const Test& other) const { return id == other.id; }
    };
    Test test;
    bool operator==(const Testing&) const = default;
  };

  enum class Kind { swiftTesting, xcTest };

  static TestContext swiftTesting(std::optional<Testing> testing) {
    return TestContext(Kind::swiftTesting, std::move(testing));
  }
  static TestContext xcTest() { return TestContext(Kind::xcTest, std::nullopt); }

  // None when the process is not under tests.
  static std::optional<TestContext> current();

  Kind kind() const { return kind_; }
  const std::optional<Testing>& testing() const { return testing_; }

  bool operator==(const TestContext&) const = default;

 private:
  TestContext(Kind kind, std::optional<Testing> testing) : kind_(kind), testing_(std::move(testing)) {}
  Kind kind_;
  std::optional<Testing> testing_;
};

}  // namespace zirudeze::issuereporting

template <>
struct std::hash<zirudeze::issuereporting::TestContext::Testing::Test::ID> {
  std::size_t operator()(const zirudeze::issuereporting::TestContext::Testing::Test::ID& id) const noexcept {
    return std::hash<std::string>{}(id.rawValue);
  }
};

template <>
struct std::hash<zirudeze::issuereporting::TestContext::Testing::Test> {
  std::size_t operator()(const zirudeze::issuereporting::TestContext::Testing::Test& test) const noexcept {
    return std::hash<zirudeze::issuereporting::TestContext::Testing::Test::ID>{}(test.id);
  }
};
