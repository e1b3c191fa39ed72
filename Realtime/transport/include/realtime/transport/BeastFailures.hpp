#pragma once

#include <optional>

#include <boost/system/error_code.hpp>

#include "realtime/transport/Connection.hpp"

namespace zirudeze::realtime::transport {

// Sorts an Asio, Beast or OpenSSL error into the failure classes, by condition rather than by number.
// `tlsVerifyResult` is the peer verification result of a failed TLS handshake, when there was one.
Failure classify(const boost::system::error_code& error, std::optional<long> tlsVerifyResult = std::nullopt);

}  // namespace zirudeze::realtime::transport
