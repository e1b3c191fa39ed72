#include "httptypes/HTTPResponsePseudoHeaderFields.hpp"

#include "PseudoHeaderNames.hpp"
#include "StatusDigits.hpp"
#include "UniqueOwnership.hpp"
#include "base/Check.hpp"

namespace zirudeze::http {
namespace {

void checkStatus(const HTTPField& field) {
  VM_CHECK(field.name() == detail::statusPseudoName(), "Pseudo header field is not \":status\"");
  VM_CHECK(detail::isThreeDigitStatus(field.rawValue().bytes()), "\":status\" value is not three digits");
}

}  // namespace

HTTPResponsePseudoHeaderFields::HTTPResponsePseudoHeaderFields(HTTPField status, std::string reasonPhrase) {
  checkStatus(status);
  storage_ = std::make_shared<Storage>(Storage{std::move(status), std::move(reasonPhrase)});
}

HTTPResponsePseudoHeaderFields::Storage& HTTPResponsePseudoHeaderFields::unique() {
  if (!detail::isUniquelyOwned(storage_)) storage_ = std::make_shared<Storage>(*storage_);
  return *storage_;
}

void HTTPResponsePseudoHeaderFields::setStatus(HTTPField field) {
  checkStatus(field);
  unique().status = std::move(field);
}

void HTTPResponsePseudoHeaderFields::setReasonPhrase(std::string phrase) { unique().reasonPhrase = std::move(phrase); }

}  // namespace zirudeze::http
