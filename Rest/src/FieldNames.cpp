#include "FieldNames.hpp"

namespace zirudeze::rest::detail {

const http::HTTPField::Name& FieldNames::prefer() {
  static const http::HTTPField::Name name = *http::HTTPField::Name::make("Prefer");
  return name;
}

const http::HTTPField::Name& FieldNames::acceptProfile() {
  static const http::HTTPField::Name name = *http::HTTPField::Name::make("Accept-Profile");
  return name;
}

const http::HTTPField::Name& FieldNames::contentProfile() {
  static const http::HTTPField::Name name = *http::HTTPField::Name::make("Content-Profile");
  return name;
}

}  // namespace zirudeze::rest::detail
