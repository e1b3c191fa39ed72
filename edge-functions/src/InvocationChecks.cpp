#include "InvocationChecks.hpp"

namespace zirudeze::functions::detail {

std::optional<FunctionsError> refusalOf(int statusCode, const std::optional<std::string>& relayError,
                                        const velmoria::base::Data& body) {
  if (statusCode < 200 || statusCode > 299) return FunctionsError::httpError(statusCode, body);
  if (relayError == "true") return FunctionsError::relayError();
  return std::nullopt;
}

}  // namespace zirudeze::functions::detail
