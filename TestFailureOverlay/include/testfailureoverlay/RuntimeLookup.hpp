#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zirudeze::testfailureoverlay {

// The few run-time lookups the expected-failure functions make of a test framework's classes and
// functions by name. On Linux there is no such run time: every lookup answers "absent", so callers
// take their fallback.
class RuntimeLookup {
 public:
  using Object = std::shared_ptr<void>;
  using IssueMatcherBlock = std::function<bool(const Object& issue)>;
  using ExpectFailureInBlock = std::function<void(const std::optional<std::string>& reason, const Object& options,
                                                  const std::function<void()>& block)>;
  using ExpectFailure = std::function<void(const std::optional<std::string>& reason, const Object& options)>;

  virtual ~RuntimeLookup() = default;

  virtual Object classNamed(const char* name) const = 0;
  virtual Object send(const Object& receiver, const char* selector) const = 0;
  virtual void setBlock(const Object& receiver, IssueMatcherBlock block, const char* key) const = 0;
  virtual std::optional<std::int64_t> integerForKey(const Object& receiver, const char* key) const = 0;
  virtual std::optional<std::string> textForKey(const Object& receiver, const char* key) const = 0;
  virtual std::vector<Object> elements(const Object& array) const = 0;
  virtual std::string classNameOf(const Object& object) const = 0;
  virtual ExpectFailureInBlock expectFailureInBlock(const char* symbol) const = 0;
  virtual ExpectFailure expectFailure(const char* symbol) const = 0;
};

// This platform's answers.
const RuntimeLookup& platformRuntime();

}  // namespace zirudeze::testfailureoverlay
