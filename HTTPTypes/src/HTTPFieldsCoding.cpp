#include <algorithm>

#include "CodingSupport.hpp"
#include "httptypes/HTTPFields.hpp"

namespace zirudeze::http {

void HTTPFields::encode(velmoria::base::Encoder& encoder) const {
  auto array = encoder.unkeyedContainer();
  for (const auto& entry : storage_->entries) array.encode(entry.field);
}

HTTPFields HTTPFields::decode(const velmoria::base::Decoder& decoder) {
  auto array = decoder.unkeyedContainer();
  HTTPFields result;
  const std::size_t expected = std::min(array.count(), maximumCount);
  result.storage_->entries.reserve(expected);
  result.storage_->indexForChange()->reserve(expected);
  while (!array.isAtEnd()) {
    HTTPField field = array.decode<HTTPField>();
    if (field.name().isPseudo()) {
      throw detail::corruptedIn(decoder, array, "Pseudo header field \"" + field.description() + "\" disallowed");
    }
    // Input from outside: too long a list is refused, not a reason to stop.
    if (result.count() >= maximumCount) {
      throw detail::corruptedIn(decoder, array, "More than 65534 HTTP fields");
    }
    result.storage_->append(std::move(field));
  }
  return result;
}

}  // namespace zirudeze::http
