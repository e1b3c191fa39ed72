#include "CurlErrorMapping.hpp"

#include <cerrno>

namespace zirudeze::helpers::detail {
namespace {

// X.509 verification results (OpenSSL's X509_V_ERR_* values) that have their own platform code.
constexpr long kCertNotYetValid = 9;
constexpr long kCertHasExpired = 10;

}  // namespace

URLError::Code urlErrorCodeFor(CURLcode code, const CurlFailureContext& context) noexcept {
  using Code = URLError::Code;
  switch (code) {
    // Schemes are checked before a transfer starts, so this means the server spoke no HTTP (0.9).
    case CURLE_UNSUPPORTED_PROTOCOL:
      return Code::badServerResponse;
    case CURLE_URL_MALFORMAT:
      return Code::badURL;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return Code::cannotFindHost;
    case CURLE_COULDNT_CONNECT:
      if (context.osErrno == ENETUNREACH || context.osErrno == ENETDOWN) return Code::notConnectedToInternet;
      return Code::cannotConnectToHost;
    case CURLE_OPERATION_TIMEDOUT:
      return Code::timedOut;
    case CURLE_PEER_FAILED_VERIFICATION:
      if (context.sslVerifyResult == kCertHasExpired) return Code::serverCertificateHasBadDate;
      if (context.sslVerifyResult == kCertNotYetValid) return Code::serverCertificateNotYetValid;
      return Code::serverCertificateUntrusted;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_USE_SSL_FAILED:
      return Code::secureConnectionFailed;
    case CURLE_SSL_CERTPROBLEM:
      return Code::clientCertificateRejected;
    case CURLE_SSL_CLIENTCERT:
      return Code::clientCertificateRequired;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
      return Code::networkConnectionLost;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
    case CURLE_QUIC_CONNECT_ERROR:
      return Code::badServerResponse;
    case CURLE_TOO_MANY_REDIRECTS:
      return Code::httpTooManyRedirects;
    case CURLE_BAD_CONTENT_ENCODING:
      return Code::cannotDecodeContentData;
    case CURLE_FILESIZE_EXCEEDED:
    case CURLE_OUT_OF_MEMORY:
      return Code::dataLengthExceedsMaximum;
    case CURLE_ABORTED_BY_CALLBACK:
      return Code::cancelled;
    case CURLE_LOGIN_DENIED:
    case CURLE_AUTH_ERROR:
      return Code::userAuthenticationRequired;
    default:
      return Code::unknown;
  }
}

}  // namespace zirudeze::helpers::detail
