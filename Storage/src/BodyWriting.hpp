#pragma once

#include <string_view>

#include "base/Data.hpp"
#include "httptypes/HTTPFields.hpp"

namespace zirudeze::storage::detail {

inline void appendText(velmoria::base::Data& body, std::string_view text) {
  body.insert(body.end(), text.begin(), text.end());
}

// Each field as "<name as spelled>: <value bytes>" and CRLF, then the empty line that ends the headers.
inline void appendHeaderLines(velmoria::base::Data& body, const http::HTTPFields& headers) {
  for (const auto& field : headers) {
    appendText(body, field.name().rawName());
    appendText(body, ": ");
    field.withValueBytes(
        [&](std::span<const std::uint8_t> bytes) { body.insert(body.end(), bytes.begin(), bytes.end()); });
    appendText(body, "\r\n");
  }
  appendText(body, "\r\n");
}

}  // namespace zirudeze::storage::detail
