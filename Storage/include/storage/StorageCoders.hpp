#pragma once

#include "base/coding/JSONCoders.hpp"

namespace zirudeze::storage {

// Field names to snake case; what the facade puts into the configuration.
const velmoria::base::JSONEncoder& storageJSONEncoder();
// Keys exactly as named: the listing and signing bodies, whatever the configuration holds.
const velmoria::base::JSONEncoder& storagePlainJSONEncoder();
// ISO 8601 dates with, then without, fractional seconds; keys as they are.
const velmoria::base::JSONDecoder& storageJSONDecoder();

}  // namespace zirudeze::storage
