#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "base/Data.hpp"

namespace zirudeze::helpers::detail {

// Masks string members with secret names, and token-shaped text anywhere, in place; a string that holds
// JSON is masked as JSON.
void redactSecretMembers(nlohmann::json& value);
// `text` masked as JSON and written compactly; nothing when it is no JSON.
std::optional<std::string> redactedJSONText(std::string_view text);

// How a request or response body appears in a log line: "<none>" without a body; a JSON object or
// array pretty-printed with sorted keys; else the UTF-8 text; "<failed>" for bytes that are no UTF-8.
// Secrets are masked in every form.
std::string logBodyText(const std::optional<velmoria::base::Data>& body);

}  // namespace zirudeze::helpers::detail
