#include "httptypes/HTTPResponseStatus.hpp"

#include "base/Check.hpp"
#include "base/Unicode.hpp"

namespace zirudeze::http {
namespace {

constexpr bool isPhraseByte(unsigned char byte) { return byte == '\t' || (byte >= 0x20 && byte != 0x7F); }

std::size_t utf8SequenceLength(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

}  // namespace

HTTPResponseStatus::HTTPResponseStatus(int code, std::string_view reasonPhrase)
    : code_(code), reasonPhrase_(legalizedReasonPhrase(reasonPhrase)) {
  VM_CHECK(code >= 0 && code <= 999, "HTTP status code outside 0...999");
}

HTTPResponseStatus::Kind HTTPResponseStatus::kind() const noexcept {
  switch (code_ / 100) {
    case 1:
      return Kind::informational;
    case 2:
      return Kind::successful;
    case 3:
      return Kind::redirection;
    case 4:
      return Kind::clientError;
    case 5:
      return Kind::serverError;
    default:
      return Kind::invalid;
  }
}

std::string HTTPResponseStatus::description() const { return std::to_string(code_) + " " + reasonPhrase_; }

void HTTPResponseStatus::hash(Hasher& hasher) const noexcept {
  const auto code = static_cast<unsigned>(code_);
  hasher.combine(static_cast<std::uint8_t>(code >> 8));
  hasher.combine(static_cast<std::uint8_t>(code));
}

bool HTTPResponseStatus::isValidReasonPhrase(std::string_view phrase) noexcept {
  for (const char c : phrase) {
    if (!isPhraseByte(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::string HTTPResponseStatus::legalizedReasonPhrase(std::string_view phrase) {
  if (isValidReasonPhrase(phrase)) return std::string(phrase);
  // Scalar by scalar over well-formed text: U+0080-U+00FF are exactly the sequences led by C2 or C3.
  const std::string text = velmoria::base::repairUTF8(phrase);
  std::string legal;
  legal.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = utf8SequenceLength(lead);
    if (length == 1) {
      legal.push_back(isPhraseByte(lead) ? static_cast<char>(lead) : ' ');
    } else if (lead == 0xC2 || lead == 0xC3) {
      legal.append(text, i, length);
    } else {
      legal.push_back(' ');
    }
    i += length;
  }
  return legal;
}

// Every status with a name of its own, as X(member, code, phrase).
#define WELL_KNOWN_STATUSES(X)                                           \
  X(continue_, 100, "Continue")                                          \
  X(switchingProtocols, 101, "Switching Protocols")                      \
  X(earlyHints, 103, "Early Hints")                                      \
  X(ok, 200, "OK")                                                       \
  X(created, 201, "Created")                                             \
  X(accepted, 202, "Accepted")                                           \
  X(nonAuthoritativeInformation, 203, "Non-Authoritative Information")   \
  X(noContent, 204, "No Content")                                        \
  X(resetContent, 205, "Reset Content")                                  \
  X(partialContent, 206, "Partial Content")                              \
  X(multipleChoices, 300, "Multiple Choices")                            \
  X(movedPermanently, 301, "Moved Permanently")                          \
  X(found, 302, "Found")                                                 \
  X(seeOther, 303, "See Other")                                          \
  X(notModified, 304, "Not Modified")                                    \
  X(temporaryRedirect, 307, "Temporary Redirect")                        \
  X(permanentRedirect, 308, "Permanent Redirect")                        \
  X(badRequest, 400, "Bad Request")                                      \
  X(unauthorized, 401, "Unauthorized")                                   \
  X(forbidden, 403, "Forbidden")                                         \
  X(notFound, 404, "Not Found")                                          \
  X(methodNotAllowed, 405, "Method Not Allowed")                         \
  X(notAcceptable, 406, "Not Acceptable")                                \
  X(proxyAuthenticationRequired, 407, "Proxy Authentication Required")   \
  X(requestTimeout, 408, "Request Timeout")                              \
  X(conflict, 409, "Conflict")                                           \
  X(gone, 410, "Gone")                                                   \
  X(lengthRequired, 411, "Length Required")                              \
  X(preconditionFailed, 412, "Precondition Failed")                      \
  X(contentTooLarge, 413, "Content Too Large")                           \
  X(uriTooLong, 414, "URI Too Long")                                     \
  X(unsupportedMediaType, 415, "Unsupported Media Type")                 \
  X(rangeNotSatisfiable, 416, "Range Not Satisfiable")                   \
  X(expectationFailed, 417, "Expectation Failed")                        \
  X(misdirectedRequest, 421, "Misdirected Request")                      \
  X(unprocessableContent, 422, "Unprocessable Content")                  \
  X(tooEarly, 425, "Too Early")                                          \
  X(upgradeRequired, 426, "Upgrade Required")                            \
  X(preconditionRequired, 428, "Precondition Required")                  \
  X(tooManyRequests, 429, "Too Many Requests")                           \
  X(requestHeaderFieldsTooLarge, 431, "Request Header Fields Too Large") \
  X(unavailableForLegalReasons, 451, "Unavailable For Legal Reasons")    \
  X(internalServerError, 500, "Internal Server Error")                   \
  X(notImplemented, 501, "Not Implemented")                              \
  X(badGateway, 502, "Bad Gateway")                                      \
  X(serviceUnavailable, 503, "Service Unavailable")                      \
  X(gatewayTimeout, 504, "Gateway Timeout")                              \
  X(httpVersionNotSupported, 505, "HTTP Version Not Supported")          \
  X(networkAuthenticationRequired, 511, "Network Authentication Required")

#define WELL_KNOWN_STATUS(member, code, phrase)            \
  const HTTPResponseStatus& HTTPResponseStatus::member() { \
    static const HTTPResponseStatus status{code, phrase};  \
    return status;                                         \
  }

WELL_KNOWN_STATUSES(WELL_KNOWN_STATUS)

std::optional<std::string_view> HTTPResponseStatus::standardReasonPhrase(int code) noexcept {
#define PHRASE_CASE(member, value, phrase) \
  case value:                              \
    return phrase;
  switch (code) { WELL_KNOWN_STATUSES(PHRASE_CASE) }
#undef PHRASE_CASE
  return std::nullopt;
}

#undef WELL_KNOWN_STATUS
#undef WELL_KNOWN_STATUSES

}  // namespace zirudeze::http
