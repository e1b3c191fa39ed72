#pragma once

#include <stdlib.h>

#include <optional>
#include <string>

namespace velmoria::testsupport {

// Sets an environment variable (or removes it, given nothing) for the scope, then puts back what was
// there.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = ::getenv(name)) saved_ = old;
    value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
  }
  ~ScopedEnvironment() { saved_ ? ::setenv(name_, saved_->c_str(), 1) : ::unsetenv(name_); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

}  // namespace velmoria::testsupport
