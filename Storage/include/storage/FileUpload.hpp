#pragma once

#include <variant>

#include "base/Data.hpp"
#include "base/URL.hpp"

namespace zirudeze::storage {

// The content of one upload: bytes in memory, or a local file URL read while the upload is sent.
using FileUpload = std::variant<velmoria::base::Data, velmoria::base::URL>;

}  // namespace zirudeze::storage
