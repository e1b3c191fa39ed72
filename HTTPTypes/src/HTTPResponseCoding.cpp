#include "CodingSupport.hpp"
#include "PseudoHeaderNames.hpp"
#include "StatusDigits.hpp"
#include "httptypes/HTTPResponse.hpp"

namespace zirudeze::http {

void HTTPResponse::encode(velmoria::base::Encoder& encoder) const {
  auto container = encoder.container();
  {
    velmoria::base::Encoder nested = container.nestedEncoder("pseudoHeaderFields");
    auto array = nested.unkeyedContainer();
    array.encode(pseudoHeaderFields_.status());
  }
  container.encode("reasonPhrase", pseudoHeaderFields_.reasonPhrase());
  container.encode("headerFields", headerFields_);
}

HTTPResponse HTTPResponse::decode(const velmoria::base::Decoder& decoder) {
  const auto container = decoder.container();
  const velmoria::base::Decoder pseudoDecoder = container.nestedDecoder("pseudoHeaderFields");
  auto array = pseudoDecoder.unkeyedContainer();

  std::optional<HTTPField> status;
  while (!array.isAtEnd()) {
    HTTPField field = array.decode<HTTPField>();
    if (field.name() == detail::statusPseudoName()) {
      if (status) throw detail::corruptedIn(pseudoDecoder, array, "Multiple \":status\" pseudo header fields");
      status = std::move(field);
    } else if (!field.name().isPseudo()) {
      throw detail::corruptedIn(pseudoDecoder, array, "\"" + field.description() + "\" is not a pseudo header field");
    }
    // Request pseudo names are skipped.
  }
  if (!status) throw detail::corruptedIn(pseudoDecoder, array, "\":status\" pseudo header field is missing");
  if (!detail::isThreeDigitStatus(status->rawValue().bytes())) {
    throw detail::corruptedIn(pseudoDecoder, array, "\"" + status->value() + "\" is not a valid status code");
  }

  auto reasonPhrase = container.decode<std::string>("reasonPhrase");
  HTTPFields headerFields = container.decode<HTTPFields>("headerFields");
  if (!Status::isValidReasonPhrase(reasonPhrase)) throw DecodingError::invalidReasonPhrase(std::move(reasonPhrase));
  return HTTPResponse(PseudoHeaderFields(std::move(*status), std::move(reasonPhrase)), std::move(headerFields));
}

}  // namespace zirudeze::http
