#include "httptypes/HTTPResponse.hpp"

#include "FieldAccess.hpp"
#include "PseudoHeaderNames.hpp"
#include "StatusDigits.hpp"

namespace zirudeze::http {
namespace {

HTTPField statusField(const HTTPFieldName& name, int code, DynamicTableIndexingStrategy strategy = {}) {
  return detail::FieldAccess::unrepaired(name, ISOLatin1String::fromText(detail::threeDigits(code)), strategy);
}

}  // namespace

HTTPResponse::DecodingError::DecodingError(std::string phrase)
    : std::runtime_error("invalidReasonPhrase(\"" + phrase + "\")"), phrase_(std::move(phrase)) {}

HTTPResponse::DecodingError HTTPResponse::DecodingError::invalidReasonPhrase(std::string phrase) {
  return DecodingError(std::move(phrase));
}

HTTPResponse::HTTPResponse(const Status& status, HTTPFields headerFields)
    : pseudoHeaderFields_(statusField(detail::statusPseudoName(), status.code()), status.reasonPhrase()),
      headerFields_(std::move(headerFields)) {}

HTTPResponse::Status HTTPResponse::status() const {
  // The phrase was legalised when it was stored, so making the status again leaves it as it is.
  return Status(detail::statusCodeOf(pseudoHeaderFields_.status().rawValue().bytes()),
                pseudoHeaderFields_.reasonPhrase());
}

void HTTPResponse::setStatus(const Status& status) {
  const HTTPField& old = pseudoHeaderFields_.status();
  pseudoHeaderFields_.setStatus(statusField(old.name(), status.code(), old.indexingStrategy()));
  pseudoHeaderFields_.setReasonPhrase(status.reasonPhrase());
}

}  // namespace zirudeze::http
