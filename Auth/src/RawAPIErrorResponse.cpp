#include "auth/RawAPIErrorResponse.hpp"

#include "base/coding/Coding.hpp"

namespace zirudeze::auth {

RawAPIErrorResponse::WeakPassword RawAPIErrorResponse::WeakPassword::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  return WeakPassword{c.decodeIfPresent<std::vector<std::string>>("reasons")};
}

std::string RawAPIErrorResponse::errorMessage() const {
  for (const auto* text : {&msg, &message, &errorDescription, &error}) {
    if (*text) return **text;
  }
  return "Unknown";
}

RawAPIErrorResponse RawAPIErrorResponse::decode(const velmoria::base::Decoder& decoder) {
  const auto c = decoder.container();
  RawAPIErrorResponse body;
  body.msg = c.decodeIfPresent<std::string>("msg");
  body.message = c.decodeIfPresent<std::string>("message");
  body.errorDescription = c.decodeIfPresent<std::string>("errorDescription");
  body.error = c.decodeIfPresent<std::string>("error");
  body.code = c.decodeIfPresent<std::string>("code");
  body.errorCode = c.decodeIfPresent<ErrorCode>("errorCode");
  body.weakPassword = c.decodeIfPresent<WeakPassword>("weakPassword");
  return body;
}

}  // namespace zirudeze::auth
