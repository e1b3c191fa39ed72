#include "functions/FunctionsError.hpp"

#include <utility>

namespace zirudeze::functions {

FunctionsError::FunctionsError(Kind kind, int code, velmoria::base::Data data, const std::string& description)
    : std::runtime_error(description), kind_(kind), code_(code), data_(std::move(data)) {}

FunctionsError FunctionsError::httpError(int code, velmoria::base::Data data) {
  return FunctionsError(Kind::httpError, code, std::move(data),
                        "Edge Function returned a non-2xx status code: " + std::to_string(code));
}

FunctionsError FunctionsError::relayError() {
  return FunctionsError(Kind::relayError, 0, {}, "Relay Error invoking the Edge Function");
}

}  // namespace zirudeze::functions
