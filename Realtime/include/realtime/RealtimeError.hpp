#pragma once

#include <exception>
#include <optional>
#include <string>

namespace zirudeze::realtime {

// The error the channels of both realtime clients raise with their own messages.
class RealtimeError : public std::exception {
 public:
  explicit RealtimeError(std::optional<std::string> errorDescription)
      : errorDescription_(std::move(errorDescription)) {}

  const std::optional<std::string>& errorDescription() const noexcept { return errorDescription_; }
  // The description, or "" when there is none.
  std::string localizedDescription() const { return errorDescription_.value_or(""); }
  const char* what() const noexcept override { return errorDescription_ ? errorDescription_->c_str() : ""; }

 private:
  std::optional<std::string> errorDescription_;
};

}  // namespace zirudeze::realtime
