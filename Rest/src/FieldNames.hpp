#pragma once

#include "httptypes/HTTPField.hpp"

namespace zirudeze::rest::detail {

// The header names the database builders write.
struct FieldNames {
  static const http::HTTPField::Name& prefer();          // "Prefer"
  static const http::HTTPField::Name& acceptProfile();   // "Accept-Profile"
  static const http::HTTPField::Name& contentProfile();  // "Content-Profile"
};

}  // namespace zirudeze::rest::detail
