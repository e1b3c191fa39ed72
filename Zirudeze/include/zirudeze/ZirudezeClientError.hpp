#pragma once

#include <stdexcept>
#include <string>

namespace zirudeze {

// A facade that cannot be made from what it was given.
class ZirudezeClientError : public std::invalid_argument {
 public:
  enum class Code {
    // The project URL has no host, or no host label between its dots, to name the stored session after.
    invalidProjectURL,
  };

  static ZirudezeClientError invalidProjectURL(const std::string& url);

  Code code() const noexcept { return code_; }

 private:
  ZirudezeClientError(Code code, const std::string& description) : std::invalid_argument(description), code_(code) {}

  Code code_;
};

}  // namespace zirudeze
