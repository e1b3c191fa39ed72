#include "base/coding/CodingErrors.hpp"

#include <utility>

namespace velmoria::base {
namespace {

std::string describe(std::string_view kind, const CodingErrorContext& context) {
  std::string text(kind);
  text += ": ";
  text += context.debugDescription;
  if (!context.codingPath.empty()) text += " (at " + describeCodingPath(context.codingPath) + ")";
  return text;
}

std::string_view kindName(DecodingError::Kind kind) {
  switch (kind) {
    case DecodingError::Kind::typeMismatch:
      return "typeMismatch";
    case DecodingError::Kind::valueNotFound:
      return "valueNotFound";
    case DecodingError::Kind::keyNotFound:
      return "keyNotFound";
    case DecodingError::Kind::dataCorrupted:
      return "dataCorrupted";
  }
  return "decodingError";
}

}  // namespace

DecodingError::DecodingError(Kind kind, std::string subject, CodingErrorContext context)
    : std::runtime_error(describe(kindName(kind), context)),
      kind_(kind),
      subject_(std::move(subject)),
      context_(std::move(context)) {}

DecodingError DecodingError::typeMismatch(std::string expectedType, CodingErrorContext context) {
  return {Kind::typeMismatch, std::move(expectedType), std::move(context)};
}
DecodingError DecodingError::valueNotFound(std::string expectedType, CodingErrorContext context) {
  return {Kind::valueNotFound, std::move(expectedType), std::move(context)};
}
DecodingError DecodingError::keyNotFound(CodingKey key, CodingErrorContext context) {
  return {Kind::keyNotFound, std::move(key.stringValue), std::move(context)};
}
DecodingError DecodingError::dataCorrupted(CodingErrorContext context) {
  return {Kind::dataCorrupted, {}, std::move(context)};
}

std::string DecodingError::localizedDescription() const {
  switch (kind_) {
    case Kind::keyNotFound:
    case Kind::valueNotFound:
      return "The data couldn\u2019t be read because it is missing.";
    case Kind::typeMismatch:
    case Kind::dataCorrupted:
      break;
  }
  return "The data couldn\u2019t be read because it isn\u2019t in the correct format.";
}

EncodingError::EncodingError(std::string valueDescription, CodingErrorContext context)
    : std::runtime_error(describe("invalidValue", context)),
      valueDescription_(std::move(valueDescription)),
      context_(std::move(context)) {}

EncodingError EncodingError::invalidValue(std::string valueDescription, CodingErrorContext context) {
  return {std::move(valueDescription), std::move(context)};
}

std::string EncodingError::localizedDescription() const {
  return "The data couldn\u2019t be written because it isn\u2019t in the correct format.";
}

}  // namespace velmoria::base
