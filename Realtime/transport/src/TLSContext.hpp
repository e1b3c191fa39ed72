#pragma once

#include <memory>

#include <boost/asio/ssl/context.hpp>

namespace zirudeze::realtime::transport {

// The client TLS context: peer verification on, trust from the system store (which SSL_CERT_FILE and
// SSL_CERT_DIR redirect). Rebuilt when those variables change, else shared.
std::shared_ptr<boost::asio::ssl::context> clientTLSContext();

}  // namespace zirudeze::realtime::transport
