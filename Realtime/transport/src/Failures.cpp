#include <boost/asio/error.hpp>
#include <boost/asio/ssl/error.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/websocket/error.hpp>
#include <openssl/x509_vfy.h>

#include "realtime/transport/BeastFailures.hpp"

namespace zirudeze::realtime::transport {

namespace {

namespace net = boost::asio;
namespace websocket = boost::beast::websocket;
using Code = helpers::URLError::Code;

Code certificateCode(long verifyResult) {
  switch (verifyResult) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return Code::serverCertificateHasBadDate;
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return Code::serverCertificateNotYetValid;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
      return Code::serverCertificateHasUnknownRoot;
    default:
      return Code::serverCertificateUntrusted;
  }
}

}  // namespace

Failure classify(const boost::system::error_code& error, std::optional<long> tlsVerifyResult) {
  Failure failure;
  failure.message = error.message();
  auto set = [&](FailureKind kind, Code code) {
    failure.kind = kind;
    failure.urlCode = code;
    return failure;
  };
  if (error == net::error::not_connected) return set(FailureKind::notConnected, Code::networkConnectionLost);
  if (error == websocket::condition::protocol_violation || error == boost::system::errc::protocol_error) {
    return set(FailureKind::protocolError, Code::badServerResponse);
  }
  if (error == boost::beast::error::timeout || error == net::error::timed_out) {
    return set(FailureKind::timedOut, Code::timedOut);
  }
  if (error == net::error::eof || error == net::error::connection_reset || error == net::error::connection_aborted ||
      error == net::error::broken_pipe || error == net::ssl::error::stream_truncated ||
      error == boost::beast::http::error::end_of_stream || error == boost::beast::http::error::partial_message) {
    return set(FailureKind::connectionLost, Code::networkConnectionLost);
  }
  if (error == net::error::network_unreachable || error == net::error::network_down ||
      error == net::error::host_unreachable) {
    return set(FailureKind::noInternet, Code::notConnectedToInternet);
  }
  if (error == net::error::operation_aborted) return set(FailureKind::aborted, Code::cancelled);
  if (error == net::error::connection_refused) return set(FailureKind::other, Code::cannotConnectToHost);
  if (error == net::error::host_not_found || error == net::error::host_not_found_try_again ||
      error == net::error::no_data || error == net::error::no_recovery) {
    return set(FailureKind::other, Code::cannotFindHost);
  }
  if (error == websocket::condition::handshake_failed ||
      error.category() == make_error_code(boost::beast::http::error::end_of_stream).category()) {
    return set(FailureKind::other, Code::badServerResponse);
  }
  if (error == websocket::error::message_too_big || error == websocket::error::buffer_overflow) {
    return set(FailureKind::other, Code::dataLengthExceedsMaximum);
  }
  if (error.category() == net::error::get_ssl_category() ||
      error.category() == net::ssl::error::get_stream_category()) {
    if (tlsVerifyResult && *tlsVerifyResult != X509_V_OK)
      return set(FailureKind::other, certificateCode(*tlsVerifyResult));
    return set(FailureKind::other, Code::secureConnectionFailed);
  }
  return set(FailureKind::other, Code::unknown);
}

helpers::URLError Failure::urlError(const std::string& failingURL) const {
  return helpers::URLError(urlCode, failingURL, message);
}

bool isSendableCloseCode(int code) noexcept {
  return (code >= 1000 && code <= 1003) || (code >= 1007 && code <= 1014) || (code >= 3000 && code <= 4999);
}

}  // namespace zirudeze::realtime::transport
