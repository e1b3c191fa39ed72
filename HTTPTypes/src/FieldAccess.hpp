#pragma once

#include <utility>

#include "httptypes/HTTPField.hpp"

namespace zirudeze::http::detail {

// Builds fields whose values were validated elsewhere (decoded, or taken from another field) without
// repairing them again.
struct FieldAccess {
  static HTTPField unrepaired(HTTPField::Name name, ISOLatin1String rawValue,
                              DynamicTableIndexingStrategy strategy = {}) {
    return HTTPField(std::move(name), std::move(rawValue), strategy);
  }
};

}  // namespace zirudeze::http::detail
