#pragma once

#include "base/Date.hpp"
#include "base/coding/Decoder.hpp"
#include "base/coding/Encoder.hpp"

namespace zirudeze::auth {

// Seconds since 2001-01-01T00:00:00Z as a JSON number, the nearest double to the exact instant.
void encodeStoredDate(velmoria::base::Date date, velmoria::base::Encoder& encoder);

// The instant whose decimal seconds are the shortest text of the number read; any JSON number is
// accepted, one outside the representable range of instants fails as data corrupted.
velmoria::base::Date decodeStoredDate(const velmoria::base::Decoder& decoder);

}  // namespace zirudeze::auth
