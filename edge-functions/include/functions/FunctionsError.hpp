#pragma once

#include <stdexcept>
#include <string>

#include "base/Data.hpp"

namespace zirudeze::functions {

// A function invocation the backend did not carry out.
class FunctionsError : public std::runtime_error {
 public:
  enum class Kind { httpError, relayError };

  // A status outside 200...299, with the response body (empty on the streamed path).
  static FunctionsError httpError(int code, velmoria::base::Data data);
  // The relay in front of the function failed ("x-relay-error: true").
  static FunctionsError relayError();

  Kind kind() const noexcept { return kind_; }
  // Both zero and empty for a relay error.
  int code() const noexcept { return code_; }
  const velmoria::base::Data& data() const noexcept { return data_; }

  // "Edge Function returned a non-2xx status code: <code>" or "Relay Error invoking the Edge Function".
  std::string localizedDescription() const { return what(); }

 private:
  FunctionsError(Kind kind, int code, velmoria::base::Data data, const std::string& description);

  Kind kind_;
  int code_;
  velmoria::base::Data data_;
};

}  // namespace zirudeze::functions
