#pragma once

#include <cstdint>

#include <boost/asio/ip/tcp.hpp>

namespace velmoria::testsupport::detail {

// Opens `acceptor` on 127.0.0.1 at `port` (0: one the kernel chooses); returns the port. Throws
// boost::system::system_error when the port is taken.
inline std::uint16_t listenOnLoopback(boost::asio::ip::tcp::acceptor& acceptor, std::uint16_t port = 0) {
  using tcp = boost::asio::ip::tcp;
  const tcp::endpoint endpoint(boost::asio::ip::make_address("127.0.0.1"), port);
  acceptor.open(endpoint.protocol());
  acceptor.set_option(tcp::acceptor::reuse_address(true));
  acceptor.bind(endpoint);
  acceptor.listen();
  return acceptor.local_endpoint().port();
}

}  // namespace velmoria::testsupport::detail
