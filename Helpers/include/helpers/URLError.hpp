#pragma once

#include <exception>
#include <string>

namespace zirudeze::helpers {

// A transport failure with the platform's numeric URL error codes, which callers (the retry
// interceptor above all) compare against.
class URLError : public std::exception {
 public:
  enum class Code : int {
    unknown = -1,
    backgroundSessionInUseByAnotherProcess = -996,
    backgroundSessionWasDisconnected = -997,
    cancelled = -999,
    badURL = -1000,
    timedOut = -1001,
    unsupportedURL = -1002,
    cannotFindHost = -1003,
    cannotConnectToHost = -1004,
    networkConnectionLost = -1005,
    dnsLookupFailed = -1006,
    httpTooManyRedirects = -1007,
    resourceUnavailable = -1008,
    notConnectedToInternet = -1009,
    badServerResponse = -1011,
    userAuthenticationRequired = -1013,
    cannotDecodeContentData = -1016,
    cannotParseResponse = -1017,
    internationalRoamingOff = -1018,
    callIsActive = -1019,
    dataNotAllowed = -1020,
    requestBodyStreamExhausted = -1021,
    dataLengthExceedsMaximum = -1103,
    secureConnectionFailed = -1200,
    serverCertificateHasBadDate = -1201,
    serverCertificateUntrusted = -1202,
    serverCertificateHasUnknownRoot = -1203,
    serverCertificateNotYetValid = -1204,
    clientCertificateRejected = -1205,
    clientCertificateRequired = -1206,
    cannotLoadFromNetwork = -2000,
    downloadDecodingFailedMidStream = -3006,
    downloadDecodingFailedToComplete = -3007,
  };

  explicit URLError(Code code, std::string failingURL = {}, std::string underlyingDetail = {});

  Code code() const noexcept { return code_; }
  int errorCode() const noexcept { return static_cast<int>(code_); }
  // The URL of the request that failed, when known.
  const std::string& failingURL() const noexcept { return failingURL_; }
  // What the transport itself said, for diagnostics; never shown as the description.
  const std::string& underlyingDetail() const noexcept { return detail_; }

  // The fixed user-facing text for the code.
  std::string localizedDescription() const;
  // "URLError(-1001 timedOut): The request timed out."
  const char* what() const noexcept override { return text_.c_str(); }

  friend bool operator==(const URLError& a, const URLError& b) noexcept { return a.code_ == b.code_; }

 private:
  Code code_;
  std::string failingURL_;
  std::string detail_;
  std::string text_;
};

// The code's case name, e.g. "timedOut"; "unknown" for values outside the table.
const char* urlErrorCodeName(URLError::Code code) noexcept;

}  // namespace zirudeze::helpers
