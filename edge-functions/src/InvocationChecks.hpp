#pragma once

#include <optional>
#include <string>

#include "base/Data.hpp"
#include "functions/FunctionsError.hpp"

namespace zirudeze::functions::detail {

// Why an answer fails an invocation: a status outside 200...299 first, then an "x-relay-error" of exactly
// "true". Nothing for an accepted answer.
std::optional<FunctionsError> refusalOf(int statusCode, const std::optional<std::string>& relayError,
                                        const velmoria::base::Data& body);

}  // namespace zirudeze::functions::detail
