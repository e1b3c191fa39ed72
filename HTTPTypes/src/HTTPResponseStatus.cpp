#include "httptypes/HTTPResponseStatus.hpp"

#include "FatalError.hpp"

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
  detail::precondition(code >= 0 && code <= 999, "HTTP status code outside 0...999");
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
  const std::string text = base::repairUTF8(phrase);
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

#define WELL_KNOWN_STATUS(member, code, phrase)            \
  const HTTPResponseStatus& HTTPResponseStatus::member() { \
    static const HTTPResponseStatus status{code, phrase};  \
    return status;                                         \
  }

WELL_KNOWN_STATUS(continue_, 100, "Continue")
WELL_KNOWN_STATUS(switchingProtocols, 101, "Switching Protocols")
WELL_KNOWN_STATUS(earlyHints, 103, "Early Hints")
WELL_KNOWN_STATUS(ok, 200, "OK")
WELL_KNOWN_STATUS(created, 201, "Created")
WELL_KNOWN_STATUS(accepted, 202, "Accepted")
WELL_KNOWN_STATUS(nonAuthoritativeInformation, 203, "Non-Authoritative Information")
WELL_KNOWN_STATUS(noContent, 204, "No Content")
WELL_KNOWN_STATUS(resetContent, 205, "Reset Content")
WELL_KNOWN_STATUS(partialContent, 206, "Partial Content")
WELL_KNOWN_STATUS(multipleChoices, 300, "Multiple Choices")
WELL_KNOWN_STATUS(movedPermanently, 301, "Moved Permanently")
WELL_KNOWN_STATUS(found, 302, "Found")
WELL_KNOWN_STATUS(seeOther, 303, "See Other")
WELL_KNOWN_STATUS(notModified, 304, "Not Modified")
WELL_KNOWN_STATUS(temporaryRedirect, 307, "Temporary Redirect")
WELL_KNOWN_STATUS(permanentRedirect, 308, "Permanent Redirect")
WELL_KNOWN_STATUS(badRequest, 400, "Bad Request")
WELL_KNOWN_STATUS(unauthorized, 401, "Unauthorized")
WELL_KNOWN_STATUS(forbidden, 403, "Forbidden")
WELL_KNOWN_STATUS(notFound, 404, "Not Found")
WELL_KNOWN_STATUS(methodNotAllowed, 405, "Method Not Allowed")
WELL_KNOWN_STATUS(notAcceptable, 406, "Not Acceptable")
WELL_KNOWN_STATUS(proxyAuthenticationRequired, 407, "Proxy Authentication Required")
WELL_KNOWN_STATUS(requestTimeout, 408, "Request Timeout")
WELL_KNOWN_STATUS(conflict, 409, "Conflict")
WELL_KNOWN_STATUS(gone, 410, "Gone")
WELL_KNOWN_STATUS(lengthRequired, 411, "Length Required")
WELL_KNOWN_STATUS(preconditionFailed, 412, "Precondition Failed")
WELL_KNOWN_STATUS(contentTooLarge, 413, "Content Too Large")
WELL_KNOWN_STATUS(uriTooLong, 414, "URI Too Long")
WELL_KNOWN_STATUS(unsupportedMediaType, 415, "Unsupported Media Type")
WELL_KNOWN_STATUS(rangeNotSatisfiable, 416, "Range Not Satisfiable")
WELL_KNOWN_STATUS(expectationFailed, 417, "Expectation Failed")
WELL_KNOWN_STATUS(misdirectedRequest, 421, "Misdirected Request")
WELL_KNOWN_STATUS(unprocessableContent, 422, "Unprocessable Content")
WELL_KNOWN_STATUS(tooEarly, 425, "Too Early")
WELL_KNOWN_STATUS(upgradeRequired, 426, "Upgrade Required")
WELL_KNOWN_STATUS(preconditionRequired, 428, "Precondition Required")
WELL_KNOWN_STATUS(tooManyRequests, 429, "Too Many Requests")
WELL_KNOWN_STATUS(requestHeaderFieldsTooLarge, 431, "Request Header Fields Too Large")
WELL_KNOWN_STATUS(unavailableForLegalReasons, 451, "Unavailable For Legal Reasons")
WELL_KNOWN_STATUS(internalServerError, 500, "Internal Server Error")
WELL_KNOWN_STATUS(notImplemented, 501, "Not Implemented")
WELL_KNOWN_STATUS(badGateway, 502, "Bad Gateway")
WELL_KNOWN_STATUS(serviceUnavailable, 503, "Service Unavailable")
WELL_KNOWN_STATUS(gatewayTimeout, 504, "Gateway Timeout")
WELL_KNOWN_STATUS(httpVersionNotSupported, 505, "HTTP Version Not Supported")
WELL_KNOWN_STATUS(networkAuthenticationRequired, 511, "Network Authentication Required")

#undef WELL_KNOWN_STATUS

}  // namespace zirudeze::http
