#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <cstdint>

namespace testsupport::detail {

// Opens `acceptor` on 127.0.0.1 with a kernel-chosen port; returns that port.
inline std::uint16_t listenOnLoopback(boost::asio::ip::tcp::acceptor& acceptor) {
  using tcp = boost::asio::ip::tcp;
  const tcp::endpoint endpoint(boost::asio::ip::make_address("127.0.0.1"), 0);
  acceptor.open(endpoint.protocol());
  acceptor.set_option(tcp::acceptor::reuse_address(true));
  acceptor.bind(endpoint);
  acceptor.listen();
  return acceptor.local_endpoint().port();
}

}  // namespace testsupport::detail
