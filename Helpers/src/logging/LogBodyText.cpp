#include "LogBodyText.hpp"

#include "base/Unicode.hpp"
#include "helpers/LogRedaction.hpp"

namespace zirudeze::helpers::detail {
std::string logBodyText(const std::optional<velmoria::base::Data>& body) {
  if (!body) return "<none>";
  const std::string text(body->begin(), body->end());
  // A sorted-key JSON value (nlohmann::json keeps objects sorted) so that equal bodies log alike.
  nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
  if (!parsed.is_discarded() && (parsed.is_object() || parsed.is_array())) {
    redactSecretMembers(parsed);
    try {
      return parsed.dump(2);
    } catch (const nlohmann::json::exception&) {
      return "<failed>";
    }
  }
  if (!velmoria::base::isValidUTF8(text)) return "<failed>";
  return redactingSecrets(text);
}

}  // namespace zirudeze::helpers::detail
