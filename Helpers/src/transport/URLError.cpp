#include "helpers/URLError.hpp"

namespace zirudeze::helpers {
namespace {

using Code = URLError::Code;

const char* descriptionOf(Code code) {
  switch (code) {
    case Code::cancelled:
      return "cancelled";
    case Code::badURL:
      return "unsupported URL";
    case Code::timedOut:
      return "The request timed out.";
    case Code::unsupportedURL:
      return "unsupported URL";
    case Code::cannotFindHost:
      return "A server with the specified hostname could not be found.";
    case Code::cannotConnectToHost:
      return "Could not connect to the server.";
    case Code::networkConnectionLost:
      return "The network connection was lost.";
    case Code::dnsLookupFailed:
      return "The DNS lookup failed.";
    case Code::httpTooManyRedirects:
      return "too many HTTP redirects";
    case Code::resourceUnavailable:
      return "The requested resource is unavailable.";
    case Code::notConnectedToInternet:
      return "The Internet connection appears to be offline.";
    case Code::badServerResponse:
      return "The operation couldn't be completed. (bad server response)";
    case Code::userAuthenticationRequired:
      return "User authentication required.";
    case Code::cannotDecodeContentData:
      return "cannot decode content data";
    case Code::cannotParseResponse:
      return "cannot parse response";
    case Code::internationalRoamingOff:
      return "International roaming is currently off.";
    case Code::callIsActive:
      return "A data connection cannot be established since a call is currently active.";
    case Code::dataNotAllowed:
      return "The data connection is not allowed.";
    case Code::requestBodyStreamExhausted:
      return "request body stream exhausted";
    case Code::dataLengthExceedsMaximum:
      return "resource exceeds maximum size";
    case Code::secureConnectionFailed:
      return "An SSL error has occurred and a secure connection to the server cannot be made.";
    case Code::serverCertificateHasBadDate:
      return "The certificate for this server has expired.";
    case Code::serverCertificateUntrusted:
      return "The certificate for this server is invalid.";
    case Code::serverCertificateHasUnknownRoot:
      return "The certificate for this server was signed by an unknown certifying authority.";
    case Code::serverCertificateNotYetValid:
      return "The certificate for this server is not yet valid.";
    case Code::clientCertificateRejected:
      return "The server did not accept the certificate.";
    case Code::clientCertificateRequired:
      return "The server requires a client certificate.";
    case Code::cannotLoadFromNetwork:
      return "The resource could not be loaded from the network.";
    case Code::downloadDecodingFailedMidStream:
      return "The download could not be decoded.";
    case Code::downloadDecodingFailedToComplete:
      return "The download could not be decoded.";
    case Code::backgroundSessionInUseByAnotherProcess:
      return "The background session is in use by another process.";
    case Code::backgroundSessionWasDisconnected:
      return "The background session was disconnected.";
    case Code::unknown:
      break;
  }
  return "An unknown error occurred.";
}

}  // namespace

const char* urlErrorCodeName(Code code) noexcept {
  switch (code) {
    case Code::unknown:
      return "unknown";
    case Code::backgroundSessionInUseByAnotherProcess:
      return "backgroundSessionInUseByAnotherProcess";
    case Code::backgroundSessionWasDisconnected:
      return "backgroundSessionWasDisconnected";
    case Code::cancelled:
      return "cancelled";
    case Code::badURL:
      return "badURL";
    case Code::timedOut:
      return "timedOut";
    case Code::unsupportedURL:
      return "unsupportedURL";
    case Code::cannotFindHost:
      return "cannotFindHost";
    case Code::cannotConnectToHost:
      return "cannotConnectToHost";
    case Code::networkConnectionLost:
      return "networkConnectionLost";
    case Code::dnsLookupFailed:
      return "dnsLookupFailed";
    case Code::httpTooManyRedirects:
      return "httpTooManyRedirects";
    case Code::resourceUnavailable:
      return "resourceUnavailable";
    case Code::notConnectedToInternet:
      return "notConnectedToInternet";
    case Code::badServerResponse:
      return "badServerResponse";
    case Code::userAuthenticationRequired:
      return "userAuthenticationRequired";
    case Code::cannotDecodeContentData:
      return "cannotDecodeContentData";
    case Code::cannotParseResponse:
      return "cannotParseResponse";
    case Code::internationalRoamingOff:
      return "internationalRoamingOff";
    case Code::callIsActive:
      return "callIsActive";
    case Code::dataNotAllowed:
      return "dataNotAllowed";
    case Code::requestBodyStreamExhausted:
      return "requestBodyStreamExhausted";
    case Code::dataLengthExceedsMaximum:
      return "dataLengthExceedsMaximum";
    case Code::secureConnectionFailed:
      return "secureConnectionFailed";
    case Code::serverCertificateHasBadDate:
      return "serverCertificateHasBadDate";
    case Code::serverCertificateUntrusted:
      return "serverCertificateUntrusted";
    case Code::serverCertificateHasUnknownRoot:
      return "serverCertificateHasUnknownRoot";
    case Code::serverCertificateNotYetValid:
      return "serverCertificateNotYetValid";
    case Code::clientCertificateRejected:
      return "clientCertificateRejected";
    case Code::clientCertificateRequired:
      return "clientCertificateRequired";
    case Code::cannotLoadFromNetwork:
      return "cannotLoadFromNetwork";
    case Code::downloadDecodingFailedMidStream:
      return "downloadDecodingFailedMidStream";
    case Code::downloadDecodingFailedToComplete:
      return "downloadDecodingFailedToComplete";
  }
  return "unknown";
}

URLError::URLError(Code code, std::string failingURL, std::string underlyingDetail)
    : code_(code), failingURL_(std::move(failingURL)), detail_(std::move(underlyingDetail)) {
  text_ = "URLError(" + std::to_string(static_cast<int>(code_)) + " " + urlErrorCodeName(code_) +
          "): " + descriptionOf(code_);
}

std::string URLError::localizedDescription() const { return descriptionOf(code_); }

}  // namespace zirudeze::helpers
