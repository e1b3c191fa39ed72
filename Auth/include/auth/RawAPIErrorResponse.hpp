#pragma once

#include <optional>
#include <string>
#include <vector>

#include "auth/ErrorCode.hpp"
#include "base/coding/Decoder.hpp"

namespace zirudeze::auth {

// The auth service's error body as it comes: every member may be missing (a JSON null counts as
// missing). Keys go through the decoder's key strategy: "msg", "message", "error_description", "error",
// "code", "error_code", "weak_password".
struct RawAPIErrorResponse {
  struct WeakPassword {
    std::optional<std::vector<std::string>> reasons;

    static WeakPassword decode(const velmoria::base::Decoder& decoder);
  };

  std::optional<std::string> msg;
  std::optional<std::string> message;
  std::optional<std::string> errorDescription;
  std::optional<std::string> error;
  std::optional<std::string> code;
  std::optional<ErrorCode> errorCode;
  std::optional<WeakPassword> weakPassword;

  // The first of msg, message, errorDescription and error that is present, else "Unknown".
  std::string errorMessage() const;

  static RawAPIErrorResponse decode(const velmoria::base::Decoder& decoder);
};

}  // namespace zirudeze::auth
