#include "httptypes/HTTPResponsePseudoHeaderFields.hpp"

#include "FatalError.hpp"
#include "PseudoHeaderNames.hpp"
#include "StatusDigits.hpp"

#include <atomic>

namespace zirudeze::http {
namespace {

void checkStatus(const HTTPField& field) {
  detail::precondition(field.name() == detail::statusPseudoName(), "Pseudo header field is not \":status\"");
  detail::precondition(detail::isThreeDigitStatus(field.rawValue().bytes()), "\":status\" value is not three digits");
}

}  // namespace

HTTPResponsePseudoHeaderFields::HTTPResponsePseudoHeaderFields(HTTPField status, std::string reasonPhrase) {
  checkStatus(status);
  storage_ = std::make_shared<Storage>(Storage{std::move(status), std::move(reasonPhrase)});
}

HTTPResponsePseudoHeaderFields::Storage& HTTPResponsePseudoHeaderFields::unique() {
  if (storage_.use_count() != 1) {
    storage_ = std::make_shared<Storage>(*storage_);
  } else {
    std::atomic_thread_fence(std::memory_order_acquire);
  }
  return *storage_;
}

void HTTPResponsePseudoHeaderFields::setStatus(HTTPField field) {
  checkStatus(field);
  unique().status = std::move(field);
}

void HTTPResponsePseudoHeaderFields::setReasonPhrase(std::string phrase) { unique().reasonPhrase = std::move(phrase); }

}  // namespace zirudeze::http
