#pragma once

#include <base/Data.hpp>
#include <base/URL.hpp>
#include <variant>

namespace zirudeze::storage {

// The content of one upload: bytes in memory, or a local file URL read while the upload is sent.
using FileUpload = std::variant<base::Data, base::URL>;

}  // namespace zirudeze::storage
