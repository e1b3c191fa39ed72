#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "httptypes/Hasher.hpp"

namespace zirudeze::http {

// A response status: a code from 0 to 999 and a reason phrase. Statuses compare by code alone.
class HTTPResponseStatus {
 public:
  enum class Kind { invalid, informational, successful, redirection, clientError, serverError };

  // The code must lie in 0...999. A phrase with control characters is legalised, never refused.
  HTTPResponseStatus(int code, std::string_view reasonPhrase = {});  // NOLINT: a bare code is a status

  [[nodiscard]] int code() const noexcept { return code_; }
  [[nodiscard]] const std::string& reasonPhrase() const noexcept { return reasonPhrase_; }
  [[nodiscard]] Kind kind() const noexcept;

  // "404 Not Found"; with an empty phrase the text ends in the blank.
  [[nodiscard]] std::string description() const;

  friend bool operator==(const HTTPResponseStatus& lhs, const HTTPResponseStatus& rhs) noexcept {
    return lhs.code_ == rhs.code_;
  }
  void hash(Hasher& hasher) const noexcept;

  // The test a reason phrase must pass: no control byte other than the tab, no DEL.
  [[nodiscard]] static bool isValidReasonPhrase(std::string_view phrase) noexcept;
  // A valid phrase as it is; otherwise controls, DEL and every character above U+00FF become blanks.
  [[nodiscard]] static std::string legalizedReasonPhrase(std::string_view phrase);
  // The phrase of a status that has a name of its own below ("Not Found" for 404); nothing for others.
  [[nodiscard]] static std::optional<std::string_view> standardReasonPhrase(int code) noexcept;

  static const HTTPResponseStatus& continue_();
  static const HTTPResponseStatus& switchingProtocols();
  static const HTTPResponseStatus& earlyHints();
  static const HTTPResponseStatus& ok();
  static const HTTPResponseStatus& created();
  static const HTTPResponseStatus& accepted();
  static const HTTPResponseStatus& nonAuthoritativeInformation();
  static const HTTPResponseStatus& noContent();
  static const HTTPResponseStatus& resetContent();
  static const HTTPResponseStatus& partialContent();
  static const HTTPResponseStatus& multipleChoices();
  static const HTTPResponseStatus& movedPermanently();
  static const HTTPResponseStatus& found();
  static const HTTPResponseStatus& seeOther();
  static const HTTPResponseStatus& notModified();
  static const HTTPResponseStatus& temporaryRedirect();
  static const HTTPResponseStatus& permanentRedirect();
  static const HTTPResponseStatus& badRequest();
  static const HTTPResponseStatus& unauthorized();
  static const HTTPResponseStatus& forbidden();
  static const HTTPResponseStatus& notFound();
  static const HTTPResponseStatus& methodNotAllowed();
  static const HTTPResponseStatus& notAcceptable();
  static const HTTPResponseStatus& proxyAuthenticationRequired();
  static const HTTPResponseStatus& requestTimeout();
  static const HTTPResponseStatus& conflict();
  static const HTTPResponseStatus& gone();
  static const HTTPResponseStatus& lengthRequired();
  static const HTTPResponseStatus& preconditionFailed();
  static const HTTPResponseStatus& contentTooLarge();
  static const HTTPResponseStatus& uriTooLong();
  static const HTTPResponseStatus& unsupportedMediaType();
  static const HTTPResponseStatus& rangeNotSatisfiable();
  static const HTTPResponseStatus& expectationFailed();
  static const HTTPResponseStatus& misdirectedRequest();
  static const HTTPResponseStatus& unprocessableContent();
  static const HTTPResponseStatus& tooEarly();
  static const HTTPResponseStatus& upgradeRequired();
  static const HTTPResponseStatus& preconditionRequired();
  static const HTTPResponseStatus& tooManyRequests();
  static const HTTPResponseStatus& requestHeaderFieldsTooLarge();
  static const HTTPResponseStatus& unavailableForLegalReasons();
  static const HTTPResponseStatus& internalServerError();
  static const HTTPResponseStatus& notImplemented();
  static const HTTPResponseStatus& badGateway();
  static const HTTPResponseStatus& serviceUnavailable();
  static const HTTPResponseStatus& gatewayTimeout();
  static const HTTPResponseStatus& httpVersionNotSupported();
  static const HTTPResponseStatus& networkAuthenticationRequired();

 private:
  int code_;
  std::string reasonPhrase_;
};

}  // namespace zirudeze::http

template <>
struct std::hash<zirudeze::http::HTTPResponseStatus> {
  std::size_t operator()(const zirudeze::http::HTTPResponseStatus& status) const noexcept {
    return zirudeze::http::Hasher::hashOf(status);
  }
};
