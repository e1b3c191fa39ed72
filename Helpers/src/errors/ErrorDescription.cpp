#include "helpers/ErrorDescription.hpp"

#include "base/coding/CodingErrors.hpp"
#include "helpers/URLError.hpp"

namespace zirudeze::helpers {

std::string localizedDescription(const std::exception& error) {
  if (const auto* decoding = dynamic_cast<const velmoria::base::DecodingError*>(&error))
    return decoding->localizedDescription();
  if (const auto* encoding = dynamic_cast<const velmoria::base::EncodingError*>(&error))
    return encoding->localizedDescription();
  if (const auto* transfer = dynamic_cast<const URLError*>(&error)) return transfer->localizedDescription();
  return error.what();
}

std::string localizedDescription(const std::exception_ptr& error) {
  if (!error) return "unknown error";
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& caught) {
    return localizedDescription(caught);
  } catch (...) {
    return "unknown error";
  }
}

}  // namespace zirudeze::helpers
